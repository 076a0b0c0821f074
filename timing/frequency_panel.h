#pragma once
// The frequency panel: the typed low range (0.1 Hz to 200 kHz on the
// microsecond timer) and the preset high range (200 kHz to 100 MHz, sent to
// the instrument as "F <hertz>").

#include "timing/timing_panel.h"

namespace tarn {

class FrequencyPanel : public TimingPanel {
public:
    // Registers the handlers of the panel's controls.
    FrequencyPanel(MainWindow& window, TimerModel& timer);

    // A finished frequency of the high range or a preset, in hertz.
    void SetFrequency(double frequency);
    // A typed frequency of the low range, in hertz; offers the closest
    // frequency the timer can make when it cannot make this one exactly.
    void SetLowFrequency(double frequency);

    // Whether the timer makes this frequency exactly: a whole number of
    // microseconds per period and no more than one decimal place.
    static bool IsExactFrequency(double frequency);

    // Why a procedure cannot have this frequency set, naming the closest value
    // the panel makes exactly; empty when the panel makes it.
    static QString SettingProblem(double value);

private:
    static const std::vector<Preset>& Presets();
};

} // namespace tarn
