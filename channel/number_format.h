#pragma once

#include "platform/number_format.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace tarn {


// Formats value with a number pattern:
//   "0"  a digit that is always written,
//   "#"  a digit written only when significant,
//   "."  the place of the decimal separator (written as fmt.decimalSeparator),
//   "%"  multiplies the value by 100 and is written as "%",
//   ";"  separates the sections for positive, negative and zero values,
//   anything else is written as it stands.
// The value is rounded on its shortest decimal representation to the last
// digit place of the pattern, halves away from zero. The integer part is
// always written in full. Empty when the value is NaN or infinite.
std::optional<QString> formatNumber(double value, QStringView pattern, const NumberFormat& fmt);

// Number text for instrument commands: ASCII digits, "." as separator and
// "-" as sign, whatever the operator's format. Empty when the number cannot
// be formatted.
QString FormatCommandNumber(double value, QStringView pattern);

// Reads an operator's entry in the given format: an optional sign, digits and
// at most one decimal separator, nothing else (no spaces, no grouping, no
// exponent). Empty when the text is not such a number or overflows.
std::optional<double> parseNumber(QStringView text, const NumberFormat& fmt);

// A plain number: "." whatever the operator's format, no exponent, at
// most 12 significant digits, trailing zeros dropped; empty when there is
// none. The results file and the procedure checker write numbers so.
QString resultsNumber(const std::optional<double>& value);

// The scale of an SI prefix as a unit is written with it: "m" 1e-3, "u" or
// "µ" 1e-6, "" 1, "M" 1e6, from pico to giga; 0 for anything else.
double siPrefixScale(const QString& prefix);

}  // namespace tarn
