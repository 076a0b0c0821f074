#include "platform/number_format.h"

#include <QLocale>

namespace tarn {

NumberFormat NumberFormat::invariant()
{
    return NumberFormat{};
}

NumberFormat NumberFormat::fromLocale(const QLocale& locale)
{
    NumberFormat fmt;
    fmt.decimalSeparator = locale.decimalPoint();
    fmt.negativeSign = locale.negativeSign();
    fmt.positiveSign = locale.positiveSign();
    const QString zero = locale.zeroDigit();
    if (!zero.isEmpty()) {
        const QList<uint> cps = zero.toUcs4();
        if (!cps.isEmpty())
            fmt.zeroDigit = static_cast<char32_t>(cps.front());
    }
    return fmt;
}

NumberFormat systemNumberFormat()
{
    return NumberFormat::fromLocale(QLocale::system());
}

}  // namespace tarn
