#include "timing/period_panel.h"

#include "app/main_window.h"
#include "timing/timer_model.h"

namespace tarn {

namespace {
constexpr double kShortest = 0.000006;  // s
constexpr double kLongest = 15.0;       // s

struct Preset {
    const char* button;
    double seconds;
};
constexpr Preset kPresets[] = {
    {"cmd5us", 0.000005},    {"cmd2us", 0.000002},   {"cmd1us", 0.000001},
    {"cmd500ns", 0.0000005}, {"cmd200ns", 0.0000002}, {"cmd100ns", 0.0000001},
    {"cmd50ns", 0.00000005}, {"cmd20ns", 0.00000002}, {"cmd10ns", 0.00000001},
};

QString refusal(const NumberFormat& fmt)
{
    return QStringLiteral("The period specified is invalid.\r\rThe period must lie between ")
           + PlainNumber(kShortest * 1000000, fmt) + QStringLiteral(" us and ")
           + PlainNumber(kLongest, fmt) + QStringLiteral(" s.");
}
} // namespace

PeriodPanel::PeriodPanel(MainWindow& window, TimerModel& timer)
    : window_(window),
      timer_(timer),
      keypad_(window,
              {QStringLiteral("cmdPeriodNumber"), QStringLiteral("cmdPeriodClear"),
               QStringLiteral("cmdPeriodUnits")},
              {2, kShortest, kLongest, refusal, [this](double p) { SetLongPeriod(p); }})
{
    FormModel& form = window_.form();
    form.onClick(QStringLiteral("optPeriodRange"), [this](int index) { SelectRange(index); });
    for (const Preset& preset : kPresets) {
        const double seconds = preset.seconds;
        form.onClick(QString::fromLatin1(preset.button), [this, seconds](int) { SetPeriod(seconds); });
    }
}

bool PeriodPanel::IsExactPeriod(double p)
{
    // Rounded to whole microseconds, it reads back as the same
    // single-precision number. The separator does not change the value, so
    // the round trip uses the invariant notation.
    const NumberFormat plain = NumberFormat::invariant();
    const auto rounded = formatNumber(p, u"#0.000000", plain);
    const auto back = rounded ? parseNumber(*rounded, plain) : std::nullopt;
    return back && static_cast<float>(*back) == static_cast<float>(p);
}

void PeriodPanel::SetLongPeriod(double p)
{
    if (!IsExactPeriod(p)) {
        const MessageResult answer = window_.showMessage(
            {QStringLiteral("Period Problem"),
             QStringLiteral("It is not possible to achieve this period exactly.\r\r"
                            "Would you like to round to the nearest microsecond?"),
             MessageIcon::Question, MessageButtons::YesNo});
        if (answer != MessageResult::Yes) {
            window_.ShowDisplayText(QString());
            return;
        }
    }
    window_.state().CurrentPeriod = p;
    timer_.ApplyTimingSetting(true);
    window_.state().OutputSet = true;
}

void PeriodPanel::SetPeriod(double p)
{
    window_.SendCommand(QStringLiteral("P ") + FormatCommandNumber(p, u"0.0########"));
    window_.ShowDisplayText(FormatPeriod(p, window_.numberFormat()));
    window_.form()(QStringLiteral("lblDutyCycleDisplay")).caption.clear();
    window_.DrawWaveform(-1, false, false);
    window_.state().OutputSet = false;
}

void PeriodPanel::SelectRange(int index)
{
    FormModel& form = window_.form();
    window_.state().DutyCycle = 50;
    const bool low = index == 0;
    form(QStringLiteral("optPeriodRange"), 0).back = low ? colors::red : colors::buttonFace;
    form(QStringLiteral("optPeriodRange"), 1).back = low ? colors::buttonFace : colors::red;
    form(QStringLiteral("fraLowPeriod")).visible = low;
    form(QStringLiteral("fraHighPeriod")).visible = !low;
    if (low)
        SetPeriod(0.000005);
    else
        SetLongPeriod(0.0001);
    if (!window_.state().DisplayShowsValue)
        window_.ShowDisplayText(QString());
}

} // namespace tarn
