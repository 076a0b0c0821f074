#include "timing/timer_model.h"

#include "app/main_window.h"
#include "timing/keypad.h"

#include <cmath>

namespace tarn {

namespace {
constexpr double kLowestDuty = 0.0001;
constexpr double kHighestDuty = 99.9999;

QString withPattern(double value, QStringView pattern, const NumberFormat& fmt)
{
    return formatNumber(value, pattern, fmt).value_or(QString());
}
} // namespace

TimerSplit SplitPeriod(double periodSeconds, double dutyPercent)
{
    TimerSplit s;
    s.period = static_cast<std::int32_t>(std::floor(periodSeconds * 1000000.0 + 0.5));
    std::int32_t high = static_cast<std::int32_t>(std::floor(dutyPercent / 100.0 * s.period + 0.5));
    if (high > MaxTimerCount)
        high = MaxTimerCount;
    if (high < MinTimerCount)
        high = MinTimerCount;
    std::int32_t low = s.period - high;
    // The low time wins: the high time is not limited again after this.
    if (low > MaxTimerCount) {
        low = MaxTimerCount;
        high = s.period - MaxTimerCount;
    }
    if (low < MinTimerCount) {
        low = MinTimerCount;
        high = s.period - MinTimerCount;
    }
    s.high = high;
    s.low = low;
    s.achievedPeriod = high + low;
    s.duty = static_cast<double>(high * 100) / s.achievedPeriod;
    return s;
}

QString FormatFrequency(double f, const NumberFormat& fmt)
{
    QString text;
    if (f < 1)
        text = withPattern(f, u"0.0#### ", fmt);
    else if (f < 1000)
        text = withPattern(f, u"0.0### ", fmt);
    else if (f < 200000)
        text = withPattern(f / 1000, u"0.0### k", fmt);
    else if (f < 1000000)
        text = withPattern(f / 1000, u"0 k", fmt);
    else
        text = withPattern(f / 1000000, u"0 M", fmt);
    return text + QStringLiteral("Hz");
}

QString FormatPeriod(double p, const NumberFormat& fmt)
{
    QString text;
    if (p < 0.000001)
        text = withPattern(p * 1000000000, u"0 n", fmt);
    else if (p < 0.001)
        text = withPattern(p * 1000000, u"0 \u00b5", fmt);
    else if (p < 1)
        text = withPattern(p * 1000, u"0.0## m", fmt);
    else
        text = withPattern(p, u"0.0##### ", fmt);
    return text + QStringLiteral("s");
}

TimerModel::TimerModel(MainWindow& window) : window_(window)
{
    window_.form().onClick(QStringLiteral("cmdDutyCycle"), [this](int index) { DutyKey(index); });
}

void TimerModel::ApplyTimingSetting(bool showPeriod)
{
    const WindowState& state = window_.state();
    const TimerSplit split = SplitPeriod(state.CurrentPeriod, state.DutyCycle);
    const NumberFormat fmt = window_.numberFormat();
    // The frequency is worked out from the whole microseconds in one
    // division: 1 / (5 / 1000000) falls just short of 200 kHz and would be
    // shown in the wrong band.
    const double microseconds = split.achievedPeriod;
    // What the timer makes goes to the calibrator as one setting: the
    // achieved frequency or period, then the achieved duty cycle, so that
    // the calibrator puts out exactly what the display shows. Six decimals
    // carry every achievable frequency to well under a microsecond of its
    // period.
    const QString duty = QStringLiteral("/D ") + FormatCommandNumber(split.duty, u"0.0###");
    window_.SendCommand(showPeriod ? QStringLiteral("P ")
                                         + FormatCommandNumber(microseconds / 1000000.0, u"0.0########") + duty
                                   : QStringLiteral("F ")
                                         + FormatCommandNumber(1000000.0 / microseconds, u"0.0#####") + duty);
    window_.ShowDisplayText(showPeriod ? FormatPeriod(microseconds / 1000000.0, fmt)
                                       : FormatFrequency(1000000.0 / microseconds, fmt));
    window_.form()(QStringLiteral("lblDutyCycleDisplay")).caption =
        QStringLiteral("Duty Cycle: ") + withPattern(split.duty, u"0.0#", fmt) + QStringLiteral("%");
    window_.DrawWaveform(split.duty, false, showPeriod);

    // Compared at single precision; the request is kept, so the warning
    // comes again while it stays out of reach.
    if (static_cast<float>(split.duty) != static_cast<float>(state.DutyCycle)) {
        window_.showMessage({QStringLiteral("Warning"),
                             QStringLiteral("Warning: The duty cycle requested is not available.\r\r"
                                            "Closest possible duty cycle selected."),
                             MessageIcon::Exclamation, MessageButtons::Ok});
    }
}

void TimerModel::SetDutyCycle(double dutyCycle, bool showPeriod)
{
    window_.state().DutyCycle = dutyCycle;
    ApplyTimingSetting(showPeriod);
}

void TimerModel::DutyKey(int index)
{
    if (window_.state().DisplayShowsValue)
        return;
    if (!window_.state().OutputSet) {
        RefuseEntry(window_, QStringLiteral("You must set the frequency/period first."));
        return;
    }
    const std::optional<double> duty = ReadEntry(window_);
    if (duty && *duty >= kLowestDuty && *duty <= kHighestDuty) {
        SetDutyCycle(*duty, index != 0);
        return;
    }
    const NumberFormat fmt = window_.numberFormat();
    RefuseEntry(window_, QStringLiteral("The duty cycle specified is invalid.\r\r"
                                        "The duty cycle must lie between ")
                             + PlainNumber(kLowestDuty, fmt) + QStringLiteral(" % and ")
                             + PlainNumber(kHighestDuty, fmt) + QStringLiteral(" %."));
}

} // namespace tarn
