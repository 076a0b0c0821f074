#pragma once
// The typing keypad of the timing panels. The frequency keypad and the
// period keypad behave alike; each panel owns one Keypad that knows the
// names of its keys, its unit multipliers and its entry limits.
//
// The main display is the entry field: while it shows a committed value
// (DisplayShowsValue) the next digit starts a new entry; while an entry is
// being typed, Clear takes back the last character and a unit key enters it.

#include "channel/number_format.h"

#include <QString>

#include <functional>
#include <optional>

namespace tarn {

class MainWindow;

class Keypad {
public:
    struct Keys {
        QString digits;  // indexed group: "0" to "9" and the decimal separator
        QString clear;   // single key "C"
        QString units;   // indexed group of unit keys
    };
    struct Entry {
        // A unit key multiplies the typed number by 1000^(index - unitOffset).
        int unitOffset = 0;
        // Accepted values after the multiplier, both included.
        double lowest = 0.0;
        double highest = 0.0;
        // The "Out of range" text for a value outside the limits (or one
        // that cannot be read), in the operator's number format.
        std::function<QString(const NumberFormat&)> refusal;
        // Takes an accepted value.
        std::function<void(double)> accept;
    };

    // Registers the handlers of the keys.
    Keypad(MainWindow& window, Keys keys, Entry entry);
    Keypad(const Keypad&) = delete;
    Keypad& operator=(const Keypad&) = delete;

    void NumberKey(int index);
    void ClearKey();
    void UnitKey(int index);

private:
    MainWindow& window_;
    Keys keys_;
    Entry entry_;
};

// The typed entry on the main display read as a number in the operator's
// format; empty when it cannot be read.
std::optional<double> ReadEntry(MainWindow& window);

// Refuses an entry: the "Out of range" box with the text, then the last
// committed value again.
void RefuseEntry(MainWindow& window, const QString& text);

// A limit as written in messages: the plain number in the operator's
// notation, without trailing zeros (0.1, 200, 99.9999).
QString PlainNumber(double value, const NumberFormat& fmt);

} // namespace tarn
