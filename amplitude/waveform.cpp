#include "amplitude/amplitude_panel.h"

#include "app/main_window.h"

#include <cmath>

namespace tarn {

namespace {
const QString kFiftyOhm = QStringLiteral("cmd50Ohm");
// 50 Ohm output goes up to this range, in millivolts per division.
constexpr std::int32_t kFiftyOhmLimit = 200;
} // namespace

void AmplitudePanel::SelectWave(int index)
{
    for (int id : form_.group(QStringLiteral("optWave"))) {
        Control& option = form_.at(id);
        const bool chosen = option.index == index;
        option.fore = chosen ? colors::black : colors::red;
        option.back = chosen ? colors::red : colors::blue;
    }
    if (form_(QStringLiteral("optWave"), 0).value)
        OutputZero();
    else
        ApplyAmplitude(WaveformChanged);
}

void AmplitudePanel::Click50Ohm()
{
    Control& button = form_(kFiftyOhm);
    if (rangeMillivolts() > kFiftyOhmLimit && button.latchValue == 0) {
        window_.showMessage({QStringLiteral("Out of range"),
                             QStringLiteral("50 Ohm mode is only available up to 200 mV/div."),
                             MessageIcon::Exclamation, MessageButtons::Ok});
        form_.setLatchValue(kFiftyOhm, kNoIndex, 1);
        return;
    }
    const bool on = button.latchValue == 0;
    button.caption = on ? QStringLiteral("50 Ohm ON") : QStringLiteral("50 Ohm OFF");
    button.fore = on ? colors::black : colors::yellow;
    button.back = on ? colors::yellow : colors::black;
    if (window_.state().OutputSet)
        window_.SendCommand(on ? QStringLiteral("50R ON") : QStringLiteral("50R OFF"));
}

void AmplitudePanel::OutputZero()
{
    window_.SendCommand(QStringLiteral("OFF"));
    window_.ShowDisplayText(QStringLiteral("Output Zero"));
    form_(QStringLiteral("lblDutyCycleDisplay")).caption = QStringLiteral("Zero");
    window_.DrawWaveform(0.0, true, false);
    form_(QStringLiteral("lblVPeakPeak")).caption.clear();
    window_.state().OutputSet = false;
}

} // namespace tarn

namespace tarn {

bool AmplitudePanel::FiftyOhmAvailable(double voltsPerDivision)
{
    return std::lround(voltsPerDivision * 1000) <= kFiftyOhmLimit;
}

} // namespace tarn
