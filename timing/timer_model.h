#pragma once
// The microsecond timer of the timing output, shared by the frequency and
// period panels and the duty-cycle keys.
//
// In the typed frequency range and the typed period range the output period
// is a whole number of microseconds, split into a high time and a low time,
// each a whole number of microseconds between MinTimerCount and
// MaxTimerCount. The requested period and duty cycle live in the window
// state (CurrentPeriod, DutyCycle); this model works out what the timer
// actually makes of them and shows that.

#include "channel/number_format.h"

#include <QString>

#include <cstdint>

namespace tarn {

class MainWindow;

// Shortest high time and shortest low time, microseconds.
inline constexpr std::int32_t MinTimerCount = 2;
// Longest high time and longest low time, microseconds (2^23 + 1).
inline constexpr std::int32_t MaxTimerCount = 8388609;

// What the timer makes of a requested period and duty cycle.
struct TimerSplit {
    std::int32_t period = 0;  // requested period, whole microseconds
    std::int32_t high = 0;    // microseconds
    std::int32_t low = 0;     // microseconds
    std::int32_t achievedPeriod = 0;  // high + low, microseconds
    double duty = 0.0;        // achieved duty cycle, percent
};

// The closest split the timer can make. The period is rounded to the
// nearest microsecond and the high time to the nearest microsecond of the
// requested share, halves up; both times are then kept within the timer's
// limits, the low time taking precedence. Meant for the periods the entry
// limits admit (5 us to 15 s).
TimerSplit SplitPeriod(double periodSeconds, double dutyPercent);

// Display texts of a frequency (hertz) and of a period (seconds).
QString FormatFrequency(double frequency, const NumberFormat& fmt);
QString FormatPeriod(double period, const NumberFormat& fmt);

class TimerModel {
public:
    // Registers the duty-cycle keys of both keypads.
    explicit TimerModel(MainWindow& window);
    TimerModel(const TimerModel&) = delete;
    TimerModel& operator=(const TimerModel&) = delete;

    // Applies CurrentPeriod and DutyCycle: shows the achieved period
    // (showPeriod) or frequency, the achieved duty cycle and its waveform,
    // and warns when the requested duty cycle could not be met. The
    // achieved setting is sent first, as "F"/"P" with its "D".
    void ApplyTimingSetting(bool showPeriod);

    // A new requested duty cycle at the present period.
    void SetDutyCycle(double dutyCycle, bool showPeriod);

    // The "% Duty Cycle" key: index 0 on the frequency keypad, 1 on the
    // period keypad.
    void DutyKey(int index);

private:
    MainWindow& window_;
};

} // namespace tarn
