#pragma once
// What the frequency panel and the period panel share. Each offers two
// ranges on one pair of options: a typed range on the microsecond timer,
// entered on its keypad, and a preset range whose finished value goes to
// the instrument. Changing range asks for a 50 % duty cycle again and puts
// the first value of the new range out.

#include "timing/keypad.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

namespace tarn {

class MainWindow;
class TimerModel;

class TimingPanel {
public:
    TimingPanel(const TimingPanel&) = delete;
    TimingPanel& operator=(const TimingPanel&) = delete;

    // The range option clicked (optFreqRange, optPeriodRange).
    void SelectRange(int index);

    // A whole setting as a procedure asks for it: a preset value through
    // its range and button, any other through the typed range as an entry
    // on the keypad. The value must be one the panel makes exactly.
    void ApplySetting(double value);
    bool IsPreset(double value) const;

protected:
    struct Preset {
        const char* button;
        double value;
    };
    struct Ranges {
        QString option;           // the pair of range options
        int typedIndex = 0;       // the option of the typed range
        QString typedFrame;       // the keypad, shown for the typed range
        QString presetFrame;      // the preset buttons, shown for the other
        double firstTyped = 0;    // put out on a change to the typed range
        double firstPreset = 0;   // put out on a change to the preset range
        std::vector<Preset> presets;
        std::function<void(double)> setTyped;   // also takes the keypad's entries
        std::function<void(double)> setPreset;  // also takes the preset buttons
        bool typedShownAsPeriod = false;
        // Asked when a typed value is not exactly what the timer makes.
        QString questionTitle;
        QString question;
    };

    // Registers the range options, the preset buttons and the keypad, whose
    // accepted entries go to ranges.setTyped.
    TimingPanel(MainWindow& window, TimerModel& timer, Ranges ranges, Keypad::Keys keys,
                Keypad::Entry entry);
    ~TimingPanel() = default;

    // A value of the preset range: the command goes to the instrument and
    // the text to the display; there is no duty cycle and no picture, and
    // the microsecond timer's setting is given up.
    void SendPreset(const QString& command, const QString& shown);
    // A typed value on the microsecond timer, as its period in seconds.
    // When it is not exact the operator is asked first; No puts the last
    // value back and changes nothing.
    void ApplyTyped(double period, bool exact);

    // Whether the value, written with the pattern and read back, is still
    // the same single-precision number. The separator does not change the
    // value, so the round trip uses the invariant notation.
    static bool ReadsBackAlike(double value, QStringView pattern);

    // A procedure's value outside what the panel sets at all, e.g.
    // "frequency 0.01 Hz is outside the panel's limits, 0.1 Hz to 100000000 Hz";
    // empty within them.
    static QString OutsideLimits(const QString& what, const QString& unit, double value, double lowest,
                                 double highest);
    // The preset value closest to a value.
    double ClosestPreset(double value) const;
    static bool IsPresetIn(const std::vector<Preset>& presets, double value);
    static double ClosestPresetIn(const std::vector<Preset>& presets, double value);

    MainWindow& window_;

private:
    TimerModel& timer_;
    Ranges ranges_;
    Keypad keypad_;
};

} // namespace tarn
