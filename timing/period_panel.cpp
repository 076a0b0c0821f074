#include "timing/period_panel.h"

#include "app/main_window.h"
#include "channel/number_format.h"
#include "timing/timer_model.h"

#include <algorithm>
#include <cmath>

namespace tarn {

namespace {
constexpr double kShortest = 0.000006;  // s
constexpr double kLongest = 15.0;       // s

QString refusal(const NumberFormat& fmt)
{
    return QStringLiteral("The period specified is invalid.\r\rThe period must lie between ")
           + PlainNumber(kShortest * 1000000, fmt) + QStringLiteral(" us and ")
           + PlainNumber(kLongest, fmt) + QStringLiteral(" s.");
}
} // namespace

PeriodPanel::PeriodPanel(MainWindow& window, TimerModel& timer)
    : TimingPanel(
          window, timer,
          {QStringLiteral("optPeriodRange"),
           1,
           QStringLiteral("fraHighPeriod"),
           QStringLiteral("fraLowPeriod"),
           0.0001,
           0.000005,
           Presets(),
           [this](double p) { SetLongPeriod(p); },
           [this](double p) { SetPeriod(p); },
           true,
           QStringLiteral("Period Problem"),
           QStringLiteral("It is not possible to achieve this period exactly.\r\r"
                          "Would you like to round to the nearest microsecond?")},
          {QStringLiteral("cmdPeriodNumber"), QStringLiteral("cmdPeriodClear"),
           QStringLiteral("cmdPeriodUnits")},
          {2, kShortest, kLongest, refusal, {}})
{
}

bool PeriodPanel::IsExactPeriod(double p)
{
    // Whole microseconds.
    return ReadsBackAlike(p, u"#0.000000");
}

void PeriodPanel::SetLongPeriod(double p)
{
    // Kept unrounded; the timer rounds it to the nearest microsecond.
    ApplyTyped(p, IsExactPeriod(p));
}

void PeriodPanel::SetPeriod(double p)
{
    SendPreset(QStringLiteral("P ") + FormatCommandNumber(p, u"0.0########"),
               FormatPeriod(p, window_.numberFormat()));
}


const std::vector<TimingPanel::Preset>& PeriodPanel::Presets()
{
    static const std::vector<Preset> presets = {{"cmd5us", 0.000005},    {"cmd2us", 0.000002},    {"cmd1us", 0.000001},
        {"cmd500ns", 0.0000005}, {"cmd200ns", 0.0000002}, {"cmd100ns", 0.0000001},
        {"cmd50ns", 0.00000005}, {"cmd20ns", 0.00000002}, {"cmd10ns", 0.00000001}};
    return presets;
}

QString PeriodPanel::SettingProblem(double p)
{
    const auto number = [](double v) { return resultsNumber(v); };
    if (IsPresetIn(Presets(), p) || (p >= kShortest && p <= kLongest && IsExactPeriod(p)))
        return {};
    if (QString outside = OutsideLimits(QStringLiteral("period"), QStringLiteral("s"), p, ClosestPresetIn(Presets(), 0.0),
                                        kLongest);
        !outside.isEmpty())
        return outside;
    // The typed range makes whole microseconds.
    const double rounded = std::clamp(std::round(p * 1e6), kShortest * 1e6, kLongest * 1e6) / 1e6;
    const double preset = ClosestPresetIn(Presets(), p);
    const double closest = std::fabs(preset - p) < std::fabs(rounded - p) ? preset : rounded;
    return QStringLiteral("period %1 s is not exactly achievable; "
                          "the closest achievable period is %2 s")
        .arg(number(p), number(closest));
}

} // namespace tarn
