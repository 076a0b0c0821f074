#include "sim/calibrator_model.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarn::sim {

namespace {

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The number after a verb and its space; nothing when it is not a finite number.
std::optional<double> valueAfter(const std::string& line, std::size_t verbLength)
{
    const std::string text = line.substr(verbLength);
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A division count: a whole number that an int holds.
bool wholeNumber(const std::optional<double>& value)
{
    return value && *value == std::trunc(*value) && *value >= 0 && *value <= 1000000;
}

} // namespace

std::string formatValue(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.10g", value);
    return buffer;
}

std::string CalibratorModel::stateText() const
{
    return "function=" + function_ + "\namplitude=" + formatValue(amplitude_) + "\ndivisions="
           + std::to_string(divisions_) + "\nwave=" + (square_ ? "SQ" : "DC") + "\nohm50="
           + (fiftyOhm_ ? "1" : "0") + "\nfrequency=" + formatValue(frequency_) + "\nperiod="
           + formatValue(period_) + "\nduty=" + formatValue(periodLast_ ? periodDuty_ : frequencyDuty_) + "\n";
}

void CalibratorModel::reset()
{
    *this = CalibratorModel();
}

std::optional<std::string> CalibratorModel::receive(const std::string& line)
{
    known_ = true;
    // Queries.
    if (line == "FUNC?")
        return function_;
    if (line == "A?")
        return "A " + formatValue(amplitude_);
    if (line == "G?")
        return "G " + std::to_string(divisions_);
    if (line == "WAVE?")
        return square_ ? "WAVE SQ" : "WAVE DC";
    if (line == "50R?")
        return fiftyOhm_ ? "50R ON" : "50R OFF";
    if (line == "F?")
        return "F " + formatValue(frequency_);
    if (line == "P?")
        return "P " + formatValue(period_);
    if (line == "D?")
        return "D " + formatValue(periodLast_ ? periodDuty_ : frequencyDuty_);

    // Commands.
    if (line == "*RST") {
        reset();
    } else if (line == "OFF") {
        function_ = "OFF";
    } else if (line == "FR") {
        function_ = "FR";
    } else if (line == "WAVE DC" || line == "WAVE SQ") {
        square_ = line == "WAVE SQ";
        function_ = "AMPL";
    } else if (line == "50R ON" || line == "50R OFF") {
        fiftyOhm_ = line == "50R ON";
    } else if (startsWith(line, "A ") && valueAfter(line, 2)) {
        amplitude_ = *valueAfter(line, 2);
        function_ = "AMPL";
    } else if (startsWith(line, "G ") && wholeNumber(valueAfter(line, 2))) {
        divisions_ = static_cast<int>(*valueAfter(line, 2));
    } else if (startsWith(line, "F ") && valueAfter(line, 2)) {
        frequency_ = *valueAfter(line, 2);
        frequencyDuty_ = 50.0;
        periodLast_ = false;
        function_ = "FREQ";
    } else if (startsWith(line, "P ") && valueAfter(line, 2)) {
        period_ = *valueAfter(line, 2);
        periodDuty_ = 50.0;
        periodLast_ = true;
        function_ = "PER";
    } else if (startsWith(line, "D ") && valueAfter(line, 2)) {
        (periodLast_ ? periodDuty_ : frequencyDuty_) = *valueAfter(line, 2);
    } else {
        known_ = false;
    }
    return std::nullopt;
}

} // namespace tarn::sim
