#include "amplitude/amplitude_panel.h"

#include "app/main_window.h"

namespace tarn {

namespace {
const QString kRepeat = QStringLiteral("tmrRepeat");

constexpr double kLowestFactor = 0.9001;
constexpr double kHighestFactor = 1.0999;

// The step of each step button; the zero button resets instead.
double stepOf(const QString& button)
{
    if (button == u"cmdDevDownLarge")
        return -0.001;
    if (button == u"cmdDevDown")
        return -0.0001;
    if (button == u"cmdDevUp")
        return 0.0001;
    if (button == u"cmdDevUpLarge")
        return 0.001;
    return 0.0;
}

const QString kDeviationControls[] = {
    QStringLiteral("cmdDevDownLarge"), QStringLiteral("cmdDevDown"), QStringLiteral("cmdDevZero"),
    QStringLiteral("cmdDevUp"),        QStringLiteral("cmdDevUpLarge"), QStringLiteral("lblDeviation"),
};
} // namespace

void AmplitudePanel::StepDeviation(double step)
{
    WindowState& state = window_.state();
    if (step == 0.0) {
        state.DeviationFactor = 1.0;
    } else {
        state.DeviationFactor += step;
        if (state.DeviationFactor < kLowestFactor)
            state.DeviationFactor = kLowestFactor;
        if (state.DeviationFactor > kHighestFactor)
            state.DeviationFactor = kHighestFactor;
    }
    form_(QStringLiteral("lblDeviation")).caption =
        formatNumber(state.DeviationFactor - 1.0, u"+0.00%;-0.00%; 0.00%", window_.numberFormat())
            .value_or(QString());
    if (!state.AmplitudeUpdating)
        ApplyAmplitude(DeviationChanged);
}

void AmplitudePanel::DeviationClick()
{
    Control& button = form_(QStringLiteral("cmdDeviation"));
    const bool on = button.latchValue == 0;
    button.caption = on ? QStringLiteral("Deviation ON") : QStringLiteral("Deviation OFF");
    button.fore = on ? colors::black : colors::blue;
    button.back = on ? colors::blue : colors::black;
    for (const QString& name : kDeviationControls)
        form_(name).visible = on;
    if (!on)
        stopRepeat();  // the step buttons are gone
    window_.state().DeviationStep = 0.0;
    StepDeviation(0.0);
}

void AmplitudePanel::StepButtonClick(const QString& name)
{
    StepDeviation(stepOf(name));
}

void AmplitudePanel::StepButtonDown(const QString& name, int button)
{
    constexpr int kLeftButton = 1;
    if (button != kLeftButton)
        return;
    window_.state().DeviationStep = stepOf(name);
    held_ = name;
    form_(kRepeat).enabled = true;
}

void AmplitudePanel::StepButtonUp()
{
    stopRepeat();
}

void AmplitudePanel::RepeatTick()
{
    // A release can be lost, so each repetition first makes sure that the
    // button is still held; otherwise the deviation would run to its limit
    // with nobody at the panel.
    if (!stepButtonHeld()) {
        stopRepeat();
        return;
    }
    StepDeviation(window_.state().DeviationStep);
}

void AmplitudePanel::WindowDeactivated()
{
    stopRepeat();
}

bool AmplitudePanel::stepButtonHeld() const
{
    if (held_.isEmpty())
        return false;
    const int id = form_.idOf(held_);
    if (id < 0 || !form_.shown(id) || !form_.at(id).enabled)
        return false;
    const PointerState* pointer = window_.services().pointer;
    return !pointer || pointer->leftButtonHeldOn(held_, kNoIndex);
}

void AmplitudePanel::stopRepeat()
{
    form_(kRepeat).enabled = false;
    held_.clear();
}

} // namespace tarn
