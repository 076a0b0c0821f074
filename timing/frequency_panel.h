#pragma once
// The frequency panel: the typed low range (0.1 Hz to 200 kHz on the
// microsecond timer) and the preset high range (200 kHz to 100 MHz, sent to
// the instrument as "F <hertz>").

#include "timing/keypad.h"

namespace tarn {

class MainWindow;
class TimerModel;

class FrequencyPanel {
public:
    // Registers the handlers of the panel's controls.
    FrequencyPanel(MainWindow& window, TimerModel& timer);
    FrequencyPanel(const FrequencyPanel&) = delete;
    FrequencyPanel& operator=(const FrequencyPanel&) = delete;

    // A finished frequency of the high range or a preset, in hertz.
    void SetFrequency(double frequency);
    // A typed frequency of the low range, in hertz; offers the closest
    // frequency the timer can make when it cannot make this one exactly.
    void SetLowFrequency(double frequency);
    // optFreqRange: 0 the typed low range, 1 the preset high range.
    void SelectRange(int index);

    // Whether the timer makes this frequency exactly: a whole number of
    // microseconds per period and no more than one decimal place.
    static bool IsExactFrequency(double frequency);

private:
    MainWindow& window_;
    TimerModel& timer_;
    Keypad keypad_;
};

} // namespace tarn
