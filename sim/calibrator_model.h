#pragma once
// The calibrator as tarn-sim plays it: the output state that the commands
// set, and the replies to the query forms.

#include <optional>
#include <string>

namespace tarn::sim {

class CalibratorModel {
public:
    // Takes one received line (without its terminator); returns the reply
    // line (without terminator) for a query, nothing otherwise.
    std::optional<std::string> receive(const std::string& line);
    // The present function: "OFF", "AMPL", "FREQ", "PER" or "FR".
    const std::string& function() const { return function_; }
    // False for a line that is no command of the calibrator.
    bool lastLineKnown() const { return known_; }
    // The output as "key=value" lines (function, amplitude in volts per
    // division, divisions, wave DC or SQ, ohm50, frequency, period, duty),
    // for a stand-in of the unit under test to follow.
    std::string stateText() const;

private:
    void reset();

    std::string function_ = "OFF";
    double amplitude_ = 0.01;
    int divisions_ = 8;
    bool square_ = false;
    bool fiftyOhm_ = false;
    double frequency_ = 1000.0;
    double period_ = 0.001;
    // Each timing setting has its own duty cycle: a new frequency or period
    // starts at 50 %, and "D" changes the duty cycle of the setting that
    // came last.
    double frequencyDuty_ = 50.0;
    double periodDuty_ = 50.0;
    bool periodLast_ = false;
    bool known_ = true;
};

// A number as the calibrator writes it: shortest form, "." as separator.
std::string formatValue(double value);

} // namespace tarn::sim
