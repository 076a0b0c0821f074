#pragma once

#include <QString>

class QLocale;

namespace tarn {

// The operator's number format: what display texts and typed entries use.
struct NumberFormat {
    QString decimalSeparator = QStringLiteral(".");
    QString negativeSign = QStringLiteral("-");
    QString positiveSign = QStringLiteral("+");
    char32_t zeroDigit = U'0';  // digits are zeroDigit..zeroDigit+9

    static NumberFormat invariant();  // ".", "-", "+", '0'
    static NumberFormat fromLocale(const QLocale& locale);
};

// The operator's number format (the system locale).
NumberFormat systemNumberFormat();

}  // namespace tarn
