#pragma once
// The period panel: the preset low range (10 ns to 5 us, sent to the
// instrument as "P <seconds>") and the typed high range (6 us to 15 s on
// the microsecond timer).

#include "timing/keypad.h"

namespace tarn {

class MainWindow;
class TimerModel;

class PeriodPanel {
public:
    // Registers the handlers of the panel's controls.
    PeriodPanel(MainWindow& window, TimerModel& timer);
    PeriodPanel(const PeriodPanel&) = delete;
    PeriodPanel& operator=(const PeriodPanel&) = delete;

    // A finished period of the low range or a preset, in seconds.
    void SetPeriod(double period);
    // A typed period of the high range, in seconds; offers to round it to
    // the nearest microsecond when it is not a whole number of them.
    void SetLongPeriod(double period);
    // optPeriodRange: 0 the preset low range, 1 the typed high range.
    void SelectRange(int index);

    // Whether the period is a whole number of microseconds.
    static bool IsExactPeriod(double period);

private:
    MainWindow& window_;
    TimerModel& timer_;
    Keypad keypad_;
};

} // namespace tarn
