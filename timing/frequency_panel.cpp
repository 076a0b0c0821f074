#include "timing/frequency_panel.h"

#include "app/main_window.h"
#include "timing/timer_model.h"

#include <cmath>

namespace tarn {

namespace {
constexpr double kLowest = 0.1;         // Hz
constexpr double kHighest = 200000.0;   // Hz; the range caption says 170 kHz

struct Preset {
    const char* button;
    double hertz;
};
constexpr Preset kPresets[] = {
    {"cmd100MHz", 100000000}, {"cmd50MHz", 50000000}, {"cmd20MHz", 20000000},
    {"cmd10MHz", 10000000},   {"cmd5MHz", 5000000},   {"cmd2MHz", 2000000},
    {"cmd1MHz", 1000000},     {"cmd500kHz", 500000},  {"cmd200kHz", 200000},
};

QString refusal(const NumberFormat& fmt)
{
    return QStringLiteral("The frequency specified is invalid.\r\rThe frequency must lie between ")
           + PlainNumber(kLowest, fmt) + QStringLiteral(" Hz and ")
           + PlainNumber(kHighest / 1000, fmt) + QStringLiteral(" kHz.");
}
} // namespace

FrequencyPanel::FrequencyPanel(MainWindow& window, TimerModel& timer)
    : window_(window),
      timer_(timer),
      keypad_(window,
              {QStringLiteral("cmdFreqNumber"), QStringLiteral("cmdFreqClear"),
               QStringLiteral("cmdFreqUnits")},
              {0, kLowest, kHighest, refusal, [this](double f) { SetLowFrequency(f); }})
{
    FormModel& form = window_.form();
    form.onClick(QStringLiteral("optFreqRange"), [this](int index) { SelectRange(index); });
    for (const Preset& preset : kPresets) {
        const double hertz = preset.hertz;
        form.onClick(QString::fromLatin1(preset.button), [this, hertz](int) { SetFrequency(hertz); });
    }
}

bool FrequencyPanel::IsExactFrequency(double f)
{
    const double quotient = 1000000.0 / f;
    if (quotient != std::floor(quotient))
        return false;
    // One decimal place at most: the value rounded to one decimal reads back
    // as the same single-precision number. The separator does not change the
    // value, so the round trip uses the invariant notation.
    const NumberFormat plain = NumberFormat::invariant();
    const auto rounded = formatNumber(f, u"########0.0", plain);
    const auto back = rounded ? parseNumber(*rounded, plain) : std::nullopt;
    return back && static_cast<float>(*back) == static_cast<float>(f);
}

void FrequencyPanel::SetLowFrequency(double f)
{
    if (!IsExactFrequency(f)) {
        const MessageResult answer = window_.showMessage(
            {QStringLiteral("Frequency Problem"),
             QStringLiteral("It is not possible to achieve this frequency exactly.\r\r"
                            "Would you like to use the closest available frequency?"),
             MessageIcon::Question, MessageButtons::YesNo});
        if (answer != MessageResult::Yes) {
            window_.ShowDisplayText(QString());
            return;
        }
    }
    window_.state().CurrentPeriod = 1 / f;
    timer_.ApplyTimingSetting(false);
    window_.state().OutputSet = true;
}

void FrequencyPanel::SetFrequency(double f)
{
    window_.SendCommand(QStringLiteral("F ") + FormatCommandNumber(f, u"0"));
    window_.ShowDisplayText(FormatFrequency(f, window_.numberFormat()));
    window_.form()(QStringLiteral("lblDutyCycleDisplay")).caption.clear();
    window_.DrawWaveform(-1, false, false);
    window_.state().OutputSet = false;
}

void FrequencyPanel::SelectRange(int index)
{
    FormModel& form = window_.form();
    window_.state().DutyCycle = 50;
    const bool low = index == 0;
    form(QStringLiteral("optFreqRange"), 0).back = low ? colors::red : colors::buttonFace;
    form(QStringLiteral("optFreqRange"), 1).back = low ? colors::buttonFace : colors::red;
    form(QStringLiteral("fraLowFreq")).visible = low;
    form(QStringLiteral("fraHighFreq")).visible = !low;
    if (low)
        SetLowFrequency(10000);
    else
        SetFrequency(200000);
    if (!window_.state().DisplayShowsValue)
        window_.ShowDisplayText(QString());
}

} // namespace tarn
