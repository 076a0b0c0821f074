#pragma once
// The period panel: the preset low range (10 ns to 5 us, sent to the
// instrument as "P <seconds>") and the typed high range (6 us to 15 s on
// the microsecond timer).

#include "timing/timing_panel.h"

namespace tarn {

class PeriodPanel : public TimingPanel {
public:
    // Registers the handlers of the panel's controls.
    PeriodPanel(MainWindow& window, TimerModel& timer);

    // A finished period of the low range or a preset, in seconds.
    void SetPeriod(double period);
    // A typed period of the high range, in seconds; offers to round it to
    // the nearest microsecond when it is not a whole number of them.
    void SetLongPeriod(double period);

    // Whether the period is a whole number of microseconds.
    static bool IsExactPeriod(double period);

    // Why a procedure cannot have this period set, naming the closest value
    // the panel makes exactly; empty when the panel makes it.
    static QString SettingProblem(double value);

private:
    static const std::vector<Preset>& Presets();
};

} // namespace tarn
