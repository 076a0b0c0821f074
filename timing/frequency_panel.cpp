#include "timing/frequency_panel.h"

#include "app/main_window.h"
#include "channel/number_format.h"
#include "timing/timer_model.h"

#include <algorithm>
#include <cmath>

namespace tarn {

namespace {
constexpr double kLowest = 0.1;         // Hz
constexpr double kHighest = 200000.0;   // Hz; the range caption says 170 kHz

QString refusal(const NumberFormat& fmt)
{
    return QStringLiteral("The frequency specified is invalid.\r\rThe frequency must lie between ")
           + PlainNumber(kLowest, fmt) + QStringLiteral(" Hz and ")
           + PlainNumber(kHighest / 1000, fmt) + QStringLiteral(" kHz.");
}
} // namespace

FrequencyPanel::FrequencyPanel(MainWindow& window, TimerModel& timer)
    : TimingPanel(
          window, timer,
          {QStringLiteral("optFreqRange"),
           0,
           QStringLiteral("fraLowFreq"),
           QStringLiteral("fraHighFreq"),
           10000,
           200000,
           Presets(),
           [this](double f) { SetLowFrequency(f); },
           [this](double f) { SetFrequency(f); },
           false,
           QStringLiteral("Frequency Problem"),
           QStringLiteral("It is not possible to achieve this frequency exactly.\r\r"
                          "Would you like to use the closest available frequency?")},
          {QStringLiteral("cmdFreqNumber"), QStringLiteral("cmdFreqClear"),
           QStringLiteral("cmdFreqUnits")},
          {0, kLowest, kHighest, refusal, {}})
{
}

bool FrequencyPanel::IsExactFrequency(double f)
{
    const double quotient = 1000000.0 / f;
    if (quotient != std::floor(quotient))
        return false;
    // One decimal place at most.
    return ReadsBackAlike(f, u"########0.0");
}

void FrequencyPanel::SetLowFrequency(double f)
{
    ApplyTyped(1 / f, IsExactFrequency(f));
}

void FrequencyPanel::SetFrequency(double f)
{
    SendPreset(QStringLiteral("F ") + FormatCommandNumber(f, u"0"),
               FormatFrequency(f, window_.numberFormat()));
}


const std::vector<TimingPanel::Preset>& FrequencyPanel::Presets()
{
    static const std::vector<Preset> presets = {{"cmd100MHz", 100000000}, {"cmd50MHz", 50000000}, {"cmd20MHz", 20000000},
        {"cmd10MHz", 10000000},   {"cmd5MHz", 5000000},   {"cmd2MHz", 2000000},
        {"cmd1MHz", 1000000},     {"cmd500kHz", 500000},  {"cmd200kHz", 200000}};
    return presets;
}

QString FrequencyPanel::SettingProblem(double f)
{
    const auto number = [](double v) { return resultsNumber(v); };
    if (IsPresetIn(Presets(), f) || (f >= kLowest && f <= kHighest && IsExactFrequency(f)))
        return {};
    if (QString outside = OutsideLimits(QStringLiteral("frequency"), QStringLiteral("Hz"), f, kLowest,
                                        ClosestPresetIn(Presets(), 1e300));
        !outside.isEmpty())
        return outside;
    // The typed range makes a whole number of microseconds per period, with
    // one decimal place at most: a divisor of 10^7 microseconds.
    double closest = ClosestPresetIn(Presets(), f);
    for (int twos = 0; twos <= 7; ++twos)
        for (int fives = 0; fives <= 7; ++fives) {
            const double us = std::pow(2.0, twos) * std::pow(5.0, fives);
            const double candidate = 1000000.0 / us;
            if (candidate >= kLowest && candidate <= kHighest && IsExactFrequency(candidate)
                && std::fabs(candidate - f) < std::fabs(closest - f))
                closest = candidate;
        }
    if (f > kHighest)
        return QStringLiteral("frequency %1 Hz is not exactly achievable; "
                              "the closest achievable frequency is %2 Hz")
            .arg(number(f), number(closest));
    // What the panel's question offers: the nearest whole microsecond.
    const double microseconds = std::floor(1000000.0 / f + 0.5);
    return QStringLiteral("frequency %1 Hz is not exactly achievable; the panel's question would offer "
                          "%2 Hz (a period of %3 \u00b5s). The closest frequency the panel sets exactly "
                          "is %4 Hz")
        .arg(number(f), number(1000000.0 / microseconds), number(microseconds), number(closest));
}

} // namespace tarn
