#include "channel/number_format.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using tarn::FormatCommandNumber;
using tarn::formatNumber;
using tarn::NumberFormat;
using tarn::parseNumber;

namespace {

NumberFormat commaFormat()
{
    NumberFormat fmt;
    fmt.decimalSeparator = QStringLiteral(",");
    return fmt;
}

NumberFormat arabicFormat()
{
    NumberFormat fmt;
    fmt.decimalSeparator = QString(QChar(0x066B));
    fmt.negativeSign = QString(QChar(0x061C)) + QLatin1Char('-');
    fmt.positiveSign = QString(QChar(0x061C)) + QLatin1Char('+');
    fmt.zeroDigit = U'\u0660';
    return fmt;
}

// Arabic-Indic digits for an ASCII digit string.
QString arabicDigits(const char* ascii)
{
    QString out;
    for (const char* p = ascii; *p; ++p)
        out += *p >= '0' && *p <= '9' ? QChar(0x0660 + (*p - '0')) : QChar(QLatin1Char(*p));
    return out;
}

QString fmtInvariant(double v, const char16_t* pattern)
{
    return formatNumber(v, pattern, NumberFormat::invariant()).value_or(QStringLiteral("<none>"));
}

}  // namespace

TEST(FormatCommandNumber, CommandPatterns)
{
    // amplitude "0.0#####"
    EXPECT_EQ(FormatCommandNumber(1.5, u"0.0#####"), u"1.5");
    EXPECT_EQ(FormatCommandNumber(0.000125, u"0.0#####"), u"0.000125");
    EXPECT_EQ(FormatCommandNumber(0.001, u"0.0#####"), u"0.001");
    EXPECT_EQ(FormatCommandNumber(1, u"0.0#####"), u"1.0");
    EXPECT_EQ(FormatCommandNumber(50, u"0.0#####"), u"50.0");
    EXPECT_EQ(FormatCommandNumber(0.010001, u"0.0#####"), u"0.010001");
    EXPECT_EQ(FormatCommandNumber(2 * 1.0, u"0.0#####"), u"2.0");
    // 1 mV/div with +0.01 %: 1.0001 mV cannot be written with six decimals
    EXPECT_EQ(FormatCommandNumber(0.001 * (1.0 + 0.0001), u"0.0#####"), u"0.001");
    // frequency "0"
    EXPECT_EQ(FormatCommandNumber(12345.6, u"0"), u"12346");
    EXPECT_EQ(FormatCommandNumber(100e6, u"0"), u"100000000");
    // period "0.0########"
    EXPECT_EQ(FormatCommandNumber(0.000005, u"0.0########"), u"0.000005");
    EXPECT_EQ(FormatCommandNumber(10e-9, u"0.0########"), u"0.00000001");
    // low-range frequency, high-range period, duty cycle
    EXPECT_EQ(FormatCommandNumber(100, u"########0.0"), u"100.0");
    EXPECT_EQ(FormatCommandNumber(6e-6, u"#0.000000"), u"0.000006");
    EXPECT_EQ(FormatCommandNumber(12.34, u"#0.0000"), u"12.3400");
    // a negative number keeps its leading "-"
    EXPECT_EQ(FormatCommandNumber(-1.25, u"0.0#####"), u"-1.25");
}

TEST(FormatCommandNumber, NotANumberGivesEmptyText)
{
    EXPECT_TRUE(FormatCommandNumber(std::numeric_limits<double>::quiet_NaN(), u"0").isEmpty());
    EXPECT_TRUE(FormatCommandNumber(std::numeric_limits<double>::infinity(), u"0.0").isEmpty());
    EXPECT_FALSE(formatNumber(-std::numeric_limits<double>::infinity(), u"0", NumberFormat::invariant()));
}

TEST(FormatNumber, RoundsTheDecimalValueHalvesAwayFromZero)
{
    EXPECT_EQ(fmtInvariant(2.675, u"0.00"), u"2.68");  // binary value lies below 2.675
    EXPECT_EQ(fmtInvariant(0.125, u"0.00"), u"0.13");
    EXPECT_EQ(fmtInvariant(-0.125, u"0.00"), u"-0.13");
    EXPECT_EQ(fmtInvariant(2.5, u"0"), u"3");
    EXPECT_EQ(fmtInvariant(0.5, u"0"), u"1");
    EXPECT_EQ(fmtInvariant(0.49999999999999994, u"0"), u"0");
    EXPECT_EQ(fmtInvariant(9.995, u"0.00"), u"10.00");  // carry into a new digit
    EXPECT_EQ(fmtInvariant(999.99996, u"0.0###"), u"1000.0");
    EXPECT_EQ(fmtInvariant(0.004, u"0.00"), u"0.00");
    EXPECT_EQ(fmtInvariant(0.005, u"0.00"), u"0.01");
    EXPECT_EQ(fmtInvariant(5e-324, u"0.00"), u"0.00");
    EXPECT_EQ(fmtInvariant(1e21, u"0"), u"1000000000000000000000");
    EXPECT_EQ(fmtInvariant(123456789.0, u"0.0"), u"123456789.0");
}

TEST(FormatNumber, PlacesOfDigits)
{
    EXPECT_EQ(fmtInvariant(0.5, u"#.0"), u".5");
    EXPECT_EQ(fmtInvariant(0.5, u"0.0"), u"0.5");
    EXPECT_EQ(fmtInvariant(0, u"0.0"), u"0.0");
    EXPECT_EQ(fmtInvariant(7, u"000"), u"007");
    EXPECT_EQ(fmtInvariant(7, u"#00"), u"07");
    EXPECT_EQ(fmtInvariant(1234, u"#0"), u"1234");
    EXPECT_EQ(fmtInvariant(3, u"0.##"), u"3");  // no fraction written: no separator
    EXPECT_EQ(fmtInvariant(3.1, u"0.##"), u"3.1");
    EXPECT_EQ(fmtInvariant(12.5, u".0"), u"12.5");
    EXPECT_EQ(fmtInvariant(42, u"N=0 units"), u"N=42 units");
    EXPECT_EQ(fmtInvariant(4321, u"0-0"), u"432-1");
}

TEST(FormatNumber, PercentWorksOnDecimalDigits)
{
    EXPECT_EQ(fmtInvariant(0.0001, u"0.00%"), u"0.01%");
    EXPECT_EQ(fmtInvariant(0.125, u"0.0%"), u"12.5%");
    EXPECT_EQ(fmtInvariant(0.00005, u"0.00%"), u"0.01%");  // 0.005 % rounds up
    EXPECT_EQ(fmtInvariant(1.5, u"0%"), u"150%");
}

TEST(FormatNumber, DeviationLabel)
{
    const char16_t* p = u"+0.00%;-0.00%; 0.00%";
    EXPECT_EQ(fmtInvariant((1.0 + 0.0001) - 1.0, p), u"+0.01%");
    EXPECT_EQ(fmtInvariant((1.0 - 0.001) - 1.0, p), u"-0.10%");
    EXPECT_EQ(fmtInvariant(0.999 - 1.0, p), u"-0.10%");
    EXPECT_EQ(fmtInvariant(1.0 - 1.0, p), u" 0.00%");
    EXPECT_EQ(fmtInvariant(1.0999 - 1.0, p), u"+9.99%");
    EXPECT_EQ(fmtInvariant(0.9001 - 1.0, p), u"-9.99%");
    EXPECT_EQ(fmtInvariant(1.0999 - 0.0001 - 1.0, p), u"+9.98%");

    // three large steps up and three down leave a tiny negative residue
    double factor = 1.0;
    for (int i = 0; i < 3; ++i)
        factor += 0.001;
    for (int i = 0; i < 3; ++i)
        factor += -0.001;
    ASSERT_EQ(factor, 0.9999999999999999);
    EXPECT_EQ(fmtInvariant(factor - 1.0, p), u"-0.00%");
    EXPECT_EQ(FormatCommandNumber(0.010 * factor, u"0.0#####"), u"0.01");

    EXPECT_EQ(formatNumber(-0.05, p, commaFormat()).value(), u"-5,00%");
}

TEST(FormatNumber, SectionsAndSigns)
{
    EXPECT_EQ(fmtInvariant(-3, u"0;(0)"), u"(3)");
    EXPECT_EQ(fmtInvariant(0, u"0;(0)"), u"0");
    EXPECT_EQ(fmtInvariant(-0.0, u"0.0;-0.0;zero"), u"zero");
    EXPECT_EQ(fmtInvariant(-0.001, u"0.00"), u"-0.00");
    EXPECT_EQ(fmtInvariant(-3, u"0;"), u"-3");  // empty negative section: first one with a sign
    NumberFormat fmt;
    fmt.negativeSign = QStringLiteral("\u2212");
    EXPECT_EQ(formatNumber(-2.5, u"0.0", fmt).value(), u"\u22122.5");
}

TEST(FormatNumber, VoltageTexts)
{
    EXPECT_EQ(fmtInvariant(0.001 * 1000, u"0.0## m"), u"1.0 m");
    EXPECT_EQ(fmtInvariant(0.001998 * 1000, u"0.0## m"), u"1.998 m");
    EXPECT_EQ(fmtInvariant(0.08 * 1000, u"0.0## m"), u"80.0 m");
    EXPECT_EQ(fmtInvariant(0.002 * (1.0 - 0.001) * 1000, u"0.0## m"), u"1.998 m");
    EXPECT_EQ(fmtInvariant(0.2 * 6, u"0.0#### "), u"1.2 ");
    EXPECT_EQ(fmtInvariant(5.0 * (1.0 + 0.0001), u"0.0#### "), u"5.0005 ");
    EXPECT_EQ(fmtInvariant(5.0 * (1.0 + 0.0001) * 4, u"0.0### "), u"20.002 ");
    EXPECT_EQ(fmtInvariant(200, u"0.0### "), u"200.0 ");
    EXPECT_EQ(fmtInvariant(1.0 * (1.0 - 0.0001) * 1000, u"0.0## m"), u"999.9 m");
    EXPECT_EQ(fmtInvariant(10.0 * (1.0 - 0.0001), u"0.0#### "), u"9.999 ");
}

TEST(FormatNumber, FrequencyAndPeriodTexts)
{
    EXPECT_EQ(fmtInvariant(0.5, u"0.0#### "), u"0.5 ");
    EXPECT_EQ(fmtInvariant(100, u"0.0### "), u"100.0 ");
    EXPECT_EQ(fmtInvariant(10000.0 / 1000, u"0.0### k"), u"10.0 k");
    EXPECT_EQ(fmtInvariant(1 / 6e-6 / 1000, u"0.0### k"), u"166.6667 k");
    EXPECT_EQ(fmtInvariant(200000.0 / 1000, u"0 k"), u"200 k");
    EXPECT_EQ(fmtInvariant(100e6 / 1e6, u"0 M"), u"100 M");
    EXPECT_EQ(fmtInvariant(10e-9 * 1e9, u"0 n"), u"10 n");
    EXPECT_EQ(fmtInvariant(100e-6 * 1e6, u"0 \u00B5"), u"100 \u00B5");
    EXPECT_EQ(fmtInvariant(15e-6 * 1e6, u"0 \u00B5"), u"15 \u00B5");
    EXPECT_EQ(fmtInvariant(1.5e-3 * 1000, u"0.0## m"), u"1.5 m");
    EXPECT_EQ(fmtInvariant(10e-3 * 1000, u"0.0## m"), u"10.0 m");
    EXPECT_EQ(fmtInvariant(1, u"0.0##### "), u"1.0 ");
    EXPECT_EQ(fmtInvariant(15, u"0.0##### "), u"15.0 ");

    // duty cycles
    EXPECT_EQ(fmtInvariant(50, u"0.0#"), u"50.0");
    EXPECT_EQ(fmtInvariant(8 * 100 / 15.0, u"0.0#"), u"53.33");
    EXPECT_EQ(fmtInvariant(6611391 * 100 / 15000000.0, u"0.0#"), u"44.08");
    EXPECT_EQ(fmtInvariant(8388609 * 100 / 15000000.0, u"0.0#"), u"55.92");
    EXPECT_EQ(fmtInvariant(1234 * 100 / 10000.0, u"0.0#"), u"12.34");
    EXPECT_EQ(fmtInvariant(2 * 100 / 3.0, u"0.0#"), u"66.67");
}

TEST(FormatNumber, OperatorsFormatInDisplayNotInCommands)
{
    const NumberFormat comma = commaFormat();
    EXPECT_EQ(formatNumber(1.5, u"0.0#####", comma).value(), u"1,5");
    EXPECT_EQ(formatNumber(166.66666666666666, u"0.0### k", comma).value(), u"166,6667 k");
    EXPECT_EQ(formatNumber(0, u"0.0", comma).value().at(1), u',');
    EXPECT_EQ(FormatCommandNumber(1.5, u"0.0#####"), u"1.5");

    const NumberFormat arabic = arabicFormat();
    EXPECT_EQ(formatNumber(1.5, u"0.0#####", arabic).value(), arabicDigits("1") + QChar(0x066B) + arabicDigits("5"));
    EXPECT_EQ(formatNumber(100e-6 * 1e6, u"0 \u00B5", arabic).value(), arabicDigits("100 ") + QChar(0x00B5));
    EXPECT_EQ(formatNumber(-2.25, u"0.0", arabic).value(), arabic.negativeSign + arabicDigits("2") + QChar(0x066B) + arabicDigits("3"));
    EXPECT_EQ(formatNumber(0, u"0.0", arabic).value().at(1), QChar(0x066B));
    EXPECT_EQ(FormatCommandNumber(-2.25, u"0.0"), u"-2.3");
    EXPECT_EQ(FormatCommandNumber(0.000125, u"0.0#####"), u"0.000125");

    // digits outside the Basic Multilingual Plane
    NumberFormat wide;
    wide.zeroDigit = U'\U0001D7CE';  // mathematical bold digit zero
    EXPECT_EQ(formatNumber(12, u"0", wide).value(), QString::fromUcs4(U"\U0001D7CF\U0001D7D0", 2));
}

TEST(FormatNumber, AchievabilityTestsReadBack)
{
    // "formatted with the pattern, read back" under several formats
    for (const NumberFormat& fmt : {NumberFormat::invariant(), commaFormat(), arabicFormat()}) {
        const auto text = formatNumber(10.05, u"########0.0", fmt);
        ASSERT_TRUE(text);
        const auto back = parseNumber(*text, fmt);
        ASSERT_TRUE(back) << text->toStdString();
        EXPECT_EQ(static_cast<float>(*back), 10.1f);

        const auto period = formatNumber(15.4e-6, u"#0.000000", fmt);
        ASSERT_TRUE(period);
        EXPECT_EQ(parseNumber(*period, fmt), 0.000015);
    }
}

TEST(ParseNumber, AcceptsNumbersInTheOperatorsFormat)
{
    const NumberFormat dot = NumberFormat::invariant();
    EXPECT_EQ(parseNumber(u"2.5", dot), 2.5);
    EXPECT_EQ(parseNumber(u"3.5", dot), 3.5);
    EXPECT_EQ(parseNumber(u"4", dot), 4.0);
    EXPECT_EQ(parseNumber(u"-5", dot), -5.0);
    EXPECT_EQ(parseNumber(u"+0.31", dot), 0.31);
    EXPECT_EQ(parseNumber(u".5", dot), 0.5);
    EXPECT_EQ(parseNumber(u"5.", dot), 5.0);
    EXPECT_EQ(parseNumber(u"0.1", dot), 0.1);
    EXPECT_EQ(parseNumber(u"007", dot), 7.0);

    const NumberFormat comma = commaFormat();
    EXPECT_EQ(parseNumber(u"1,5", comma), 1.5);
    EXPECT_EQ(parseNumber(u"-0,25", comma), -0.25);

    const NumberFormat arabic = arabicFormat();
    EXPECT_EQ(parseNumber(arabicDigits("12") + QChar(0x066B) + arabicDigits("5"), arabic), 12.5);
    EXPECT_EQ(parseNumber(arabic.negativeSign + arabicDigits("3"), arabic), -3.0);
    EXPECT_EQ(parseNumber(u"-3\u066B5", arabic), -3.5);  // ASCII digits and sign as well

    // tiny numbers read as zero; huge ones that still fit are read
    const QString tiny = QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1");
    EXPECT_EQ(parseNumber(tiny, dot), 0.0);
    EXPECT_EQ(parseNumber(QStringLiteral("1") + QString(300, u'0'), dot), 1e300);
}

TEST(ParseNumber, RefusesWhatIsNotANumber)
{
    const NumberFormat dot = NumberFormat::invariant();
    for (const char16_t* text : {u"", u".", u"-", u"+", u"-.", u"1.2.3", u"COM2", u"2a", u" 4 ", u"4 ",
                                 u"1 000", u"1,000", u"1e5", u"0x10", u"--1", u"+-1", u"1-", u"inf", u"nan",
                                 u"\u0661"}) {
        EXPECT_FALSE(parseNumber(text, dot)) << QString::fromUtf16(text).toStdString();
    }
    // overflow
    EXPECT_FALSE(parseNumber(QStringLiteral("1") + QString(400, u'0'), dot));

    const NumberFormat comma = commaFormat();
    EXPECT_FALSE(parseNumber(u"1.5", comma));  // no guessing at the separator
    EXPECT_FALSE(parseNumber(u",", comma));
    EXPECT_FALSE(parseNumber(u"1,5,0", comma));

    const NumberFormat arabic = arabicFormat();
    EXPECT_FALSE(parseNumber(u"1.5", arabic));
    EXPECT_FALSE(parseNumber(u"\u066B", arabic));
}

TEST(NumberFormatFromLocale, TakesSeparatorSignsAndDigits)
{
    const NumberFormat c = NumberFormat::fromLocale(QLocale::c());
    EXPECT_EQ(c.decimalSeparator, u".");
    EXPECT_EQ(c.negativeSign, u"-");
    EXPECT_EQ(c.zeroDigit, U'0');

    const NumberFormat german = NumberFormat::fromLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(german.decimalSeparator, u",");
    EXPECT_EQ(formatNumber(1.5, u"0.0", german).value(), u"1,5");

    const NumberFormat arabic = NumberFormat::fromLocale(QLocale(QLocale::Arabic, QLocale::Egypt));
    EXPECT_EQ(arabic.decimalSeparator, QString(QChar(0x066B)));
    EXPECT_EQ(arabic.zeroDigit, U'\u0660');
    const QString shown = formatNumber(-12.5, u"0.0", arabic).value();
    EXPECT_EQ(parseNumber(shown, arabic), -12.5);
    EXPECT_EQ(FormatCommandNumber(-12.5, u"0.0"), u"-12.5");
}
