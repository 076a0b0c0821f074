#include "timing/frequency_panel.h"

#include "app/main_window.h"
#include "timing/timer_model.h"

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
           {{"cmd100MHz", 100000000}, {"cmd50MHz", 50000000}, {"cmd20MHz", 20000000},
            {"cmd10MHz", 10000000},   {"cmd5MHz", 5000000},   {"cmd2MHz", 2000000},
            {"cmd1MHz", 1000000},     {"cmd500kHz", 500000},  {"cmd200kHz", 200000}},
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

} // namespace tarn
