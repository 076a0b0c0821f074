#include "channel/number_format.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>
#include <vector>

namespace tarn {

namespace {

// A non-negative decimal number split at its decimal point: integer digits
// without leading zeros (empty for zero) and exactly the requested number of
// fraction digits.
struct DecimalDigits {
    std::string integer;
    std::string fraction;
};

// Rounds |value| * 10^shift to `places` fraction digits, halves away from
// zero. Works on the shortest decimal text that reads back as the same
// double, so 2.675 rounds to 2.68 although its binary value lies below.
DecimalDigits roundDecimal(double value, int shift, int places)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value),
                                   std::chars_format::scientific);
    const std::string text(buf, res.ptr);

    // "d.ddde+XX" -> digits "dddd", exponent XX
    const auto ePos = text.find('e');
    std::string digits;
    for (std::size_t i = 0; i < ePos; ++i)
        if (text[i] != '.')
            digits += text[i];
    int exponent = 0;
    const char* expBegin = text.data() + ePos + 1;
    if (*expBegin == '+')
        ++expBegin;
    std::from_chars(expBegin, text.data() + text.size(), exponent);

    // Number of digits in front of the decimal point; keep at least one.
    int point = exponent + 1 + shift;
    if (point < 1) {
        digits.insert(0, static_cast<std::size_t>(1 - point), '0');
        point = 1;
    }

    const std::size_t keep = static_cast<std::size_t>(point + places);
    bool roundUp = false;
    if (keep < digits.size()) {
        roundUp = digits[keep] >= '5';
        digits.resize(keep);
    } else {
        digits.append(keep - digits.size(), '0');
    }
    if (roundUp) {
        std::size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9')
            digits[--i] = '0';
        if (i == 0) {
            digits.insert(digits.begin(), '1');
            ++point;
        } else {
            ++digits[i - 1];
        }
    }

    DecimalDigits out;
    out.integer = digits.substr(0, static_cast<std::size_t>(point));
    out.integer.erase(0, out.integer.find_first_not_of('0'));
    if (out.integer.find_first_not_of('0') == std::string::npos)
        out.integer.clear();
    out.fraction = digits.substr(static_cast<std::size_t>(point));
    return out;
}

void appendCodePoint(QString& out, char32_t cp)
{
    if (QChar::requiresSurrogates(cp)) {
        out += QChar(QChar::highSurrogate(cp));
        out += QChar(QChar::lowSurrogate(cp));
    } else {
        out += QChar(static_cast<char16_t>(cp));
    }
}

void appendDigits(QString& out, const std::string& digits, char32_t zeroDigit)
{
    for (char d : digits)
        appendCodePoint(out, zeroDigit + static_cast<char32_t>(d - '0'));
}

// One section of a pattern, with the counts that decide the digits written.
struct Section {
    QStringView text;
    int pointIndex = -1;       // index of the decimal point in text, -1 if none
    int integerPlaces = 0;     // "0"/"#" in front of the point
    int minIntegerDigits = 0;  // places from the first integer "0" on
    int fractionPlaces = 0;    // "0"/"#" after the point
    int minFractionDigits = 0; // places up to the last fraction "0"
    int percentShift = 0;      // 2 per "%"

    explicit Section(QStringView s) : text(s)
    {
        int firstIntegerZero = -1;
        for (qsizetype i = 0; i < s.size(); ++i) {
            const QChar c = s[i];
            if (c == u'.' && pointIndex < 0) {
                pointIndex = static_cast<int>(i);
            } else if (c == u'0' || c == u'#') {
                if (pointIndex < 0) {
                    if (c == u'0' && firstIntegerZero < 0)
                        firstIntegerZero = integerPlaces;
                    ++integerPlaces;
                } else {
                    ++fractionPlaces;
                    if (c == u'0')
                        minFractionDigits = fractionPlaces;
                }
            } else if (c == u'%') {
                percentShift += 2;
            }
        }
        if (firstIntegerZero >= 0)
            minIntegerDigits = integerPlaces - firstIntegerZero;
    }

    QString render(double value, const NumberFormat& fmt) const
    {
        DecimalDigits d = roundDecimal(value, percentShift, fractionPlaces);
        if (static_cast<int>(d.integer.size()) < minIntegerDigits)
            d.integer.insert(0, minIntegerDigits - d.integer.size(), '0');
        while (static_cast<int>(d.fraction.size()) > minFractionDigits && d.fraction.back() == '0')
            d.fraction.pop_back();

        // Integer digits are laid right-aligned onto the integer places; the
        // first place takes every digit that has no place of its own.
        const int excess = static_cast<int>(d.integer.size()) - integerPlaces;
        QString out;
        int integerIndex = 0;
        int fractionIndex = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (i == pointIndex) {
                if (integerPlaces == 0)
                    appendDigits(out, d.integer, fmt.zeroDigit);
                if (!d.fraction.empty())
                    out += fmt.decimalSeparator;
            } else if ((c == u'0' || c == u'#') && (pointIndex < 0 || i < pointIndex)) {
                const int j = excess + integerIndex;  // digit index for this place
                if (integerIndex == 0 && j >= 0)
                    appendDigits(out, d.integer.substr(0, j + 1), fmt.zeroDigit);
                else if (j >= 0)
                    appendDigits(out, d.integer.substr(j, 1), fmt.zeroDigit);
                ++integerIndex;
            } else if (c == u'0' || c == u'#') {
                if (fractionIndex < static_cast<int>(d.fraction.size()))
                    appendDigits(out, d.fraction.substr(fractionIndex, 1), fmt.zeroDigit);
                ++fractionIndex;
            } else {
                out += c;
            }
        }
        return out;
    }
};

std::optional<char32_t> digitValue(char32_t cp, char32_t zeroDigit)
{
    if (cp >= U'0' && cp <= U'9')
        return cp - U'0';
    if (cp >= zeroDigit && cp <= zeroDigit + 9)
        return cp - zeroDigit;
    return std::nullopt;
}

}  // namespace

std::optional<QString> formatNumber(double value, QStringView pattern, const NumberFormat& fmt)
{
    if (!std::isfinite(value))
        return std::nullopt;

    std::vector<QStringView> sections;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= pattern.size(); ++i) {
        if (i == pattern.size() || pattern[i] == u';') {
            sections.push_back(pattern.mid(start, i - start));
            start = i + 1;
        }
    }

    // A negative value uses the negative section when there is a non-empty
    // one; that section writes its own sign. A value that is exactly zero
    // uses the zero section when there is a non-empty one.
    if (value < 0 && sections.size() >= 2 && !sections[1].isEmpty())
        return Section(sections[1]).render(value, fmt);
    if (value == 0 && sections.size() >= 3 && !sections[2].isEmpty())
        return Section(sections[2]).render(value, fmt);
    QString out = Section(sections[0]).render(value, fmt);
    if (value < 0)
        out.prepend(fmt.negativeSign);
    return out;
}

QString FormatCommandNumber(double value, QStringView pattern)
{
    return formatNumber(value, pattern, NumberFormat::invariant()).value_or(QString());
}

std::optional<double> parseNumber(QStringView text, const NumberFormat& fmt)
{
    std::string ascii;
    qsizetype i = 0;

    auto takeSign = [&](QStringView sign) {
        if (!sign.isEmpty() && text.startsWith(sign)) {
            i = sign.size();
            return true;
        }
        return false;
    };
    if (takeSign(fmt.negativeSign) || takeSign(u"-"))
        ascii += '-';
    else
        takeSign(fmt.positiveSign) || takeSign(u"+");

    bool seenSeparator = false;
    bool seenDigit = false;
    bool integerNonZero = false;
    const QStringView separator(fmt.decimalSeparator);
    while (i < text.size()) {
        if (!separator.isEmpty() && text.mid(i).startsWith(separator)) {
            if (seenSeparator)
                return std::nullopt;
            seenSeparator = true;
            ascii += '.';
            i += separator.size();
            continue;
        }
        char32_t cp = text[i].unicode();
        qsizetype width = 1;
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
            width = 2;
        }
        const auto digit = digitValue(cp, fmt.zeroDigit);
        if (!digit)
            return std::nullopt;
        ascii += static_cast<char>('0' + *digit);
        seenDigit = true;
        if (!seenSeparator && *digit != 0)
            integerNonZero = true;
        i += width;
    }
    if (!seenDigit)
        return std::nullopt;

    double value = 0;
    const char* first = ascii.data();
    const char* last = ascii.data() + ascii.size();
    const auto res = std::from_chars(first, last, value, std::chars_format::fixed);
    if (res.ec == std::errc::result_out_of_range) {
        // Too small for a double: it reads as zero. Too large: refused.
        if (integerNonZero)
            return std::nullopt;
        return ascii.front() == '-' ? -0.0 : 0.0;
    }
    if (res.ec != std::errc() || res.ptr != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString resultsNumber(const std::optional<double>& value)
{
    if (!value || !std::isfinite(*value))
        return {};
    // Rounded to 12 significant digits first, then written out in full.
    const double rounded = QString::number(*value, 'g', 12).toDouble();
    if (rounded == 0.0)
        return QStringLiteral("0");
    const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(rounded))));
    const int decimals = std::max(0, 11 - magnitude);
    QString text = QString::number(rounded, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}

double siPrefixScale(const QString& prefix)
{
    static const std::pair<const char*, double> kPrefixes[] = {
        {"p", 1e-12}, {"n", 1e-9}, {"u", 1e-6}, {"\u00b5", 1e-6}, {"m", 1e-3},
        {"", 1.0},    {"k", 1e3},  {"M", 1e6},  {"G", 1e9},
    };
    for (const auto& [text, scale] : kPrefixes)
        if (prefix == QString::fromUtf8(text))
            return scale;
    return 0.0;
}

}  // namespace tarn
