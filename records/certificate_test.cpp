#include "records/certificate.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

PointResult point(const QString& function, const QString& unit, std::optional<double> nominal,
                  std::optional<double> indicated, std::optional<double> actual, std::optional<double> lower,
                  std::optional<double> upper)
{
    PointResult p;
    p.point = 1;
    p.function = function;
    p.unit = unit;
    p.nominal = nominal;
    p.indicated = indicated;
    p.actual = actual;
    p.lower = lower;
    p.upper = upper;
    if (indicated && actual)
        p.error = *indicated - *actual;
    p.result = Verdict::Pass;
    return p;
}

PointResult withU(PointResult p, double u, std::optional<double> tur = std::nullopt)
{
    p.uncertainty = u;
    p.coverageFactor = 2.0;
    p.tur = tur;
    return p;
}

// How each value of a row is written: one prefix for nominal, indicated and
// actual; the error to the decimal place of U; the limits, tolerance used
// and TUR.
TEST(CertificateCells, WriteValuesAsATechnicianWould)
{
    const auto mv = point(QStringLiteral("amplitude"), QStringLiteral("V"), 0.06, 0.060018, 0.06, 0.0588, 0.0612);
    PointResult deviation = point(QStringLiteral("amplitude"), QStringLiteral("V"), 0.06, 0.06, 0.0606, 0.0588, 0.0612);
    deviation.toleranceUsed = 50.0;
    PointResult coarseU = withU(point(QStringLiteral("amplitude"), QStringLiteral("V"), 0.06, 0.059396, 0.06, 0.0588, 0.0612), 0.00012);
    PointResult counter = withU(point(QStringLiteral("frequency"), QStringLiteral("Hz"), 1e6, 1000012, 1e6, 999980, 1000020), 0.58, 34.48);
    counter.toleranceUsed = 60.0;
    PointResult period = point(QStringLiteral("period"), QStringLiteral("s"), 1e-6, 1e-6, 1e-6, 0.999e-6, 1.001e-6);
    period.toleranceUsed = 0.0;
    PointResult bandwidth = withU(point(QStringLiteral("fastrise"), QStringLiteral("MHz"), 0.0, 109.858843601,
                                        std::nullopt, 100.0, std::nullopt), 3.2);
    bandwidth.riseTime = 3.18;
    PointResult slip = point(QStringLiteral("amplitude"), QStringLiteral("V"), 4.0, 4075.0, 4.0, 3.9992, 4.0008);
    slip.toleranceUsed = 5088750.0;
    slip.result = Verdict::Fail;
    PointResult noDecision = withU(point(QStringLiteral("amplitude"), QStringLiteral("V"), 0.02, 0.02, 0.02, 0.0199, 0.0201), 0.00011, 0.5);
    noDecision.result = Verdict::NoDecision;
    PointResult check;
    check.result = Verdict::Fail;

    const struct {
        const char* name;
        PointResult point;
        CertificateCells expected;
    } cases[] = {
        {"typed millivolts, no U: error to four digits", mv,
         {"60.000 mV", "60.018 mV", "", "60.000 mV", "18.00 \u00b5V", "", "58.8 to 61.2 mV", "", "", "Pass"}},
        {"the same with U: error to the place of U", withU(mv, 0.000013, 9.2),
         {"60.000 mV", "60.018 mV", "", "60.000 mV", "18 \u00b5V", "13 \u00b5V (2.00)", "58.8 to 61.2 mV", "", "9.2", "Pass"}},
        {"deviation: binary noise taken off, 50 % without a decimal", deviation,
         {"60.00 mV", "60.00 mV", "", "60.60 mV", "-600.0 \u00b5V", "", "58.8 to 61.2 mV", "50 %", "", "Pass"}},
        {"U to the tens: the error rounded to the tens", coarseU,
         {"60.000 mV", "59.396 mV", "", "60.000 mV", "-600 \u00b5V", "120 \u00b5V (2.00)", "58.8 to 61.2 mV", "", "", "Pass"}},
        {"counter in MHz grouped in threes; error and U in Hz", counter,
         {"1.000 000 MHz", "1.000 012 MHz", "", "1.000 000 MHz", "12.00 Hz", "0.58 Hz (2.00)",
          "0.999 98 to 1.000 02 MHz", "60 %", "34.5", "Pass"}},
        {"a microsecond to four digits, a zero error without sign", period,
         {"1.000 \u00b5s", "1.000 \u00b5s", "", "1.000 \u00b5s", "0.000 \u00b5s", "", "0.999 to 1.001 \u00b5s", "0.0 %", "", "Pass"}},
        {"bandwidth: one-sided limit, rise time beside it, to the place of U", bandwidth,
         {"", "109.9 MHz", "tr 3.18 ns", "", "", "3.2 MHz (2.00)", "\u2265 100 MHz", "", "", "Pass"}},
        {"a slip: kilovolts of error, tolerance used without a decimal", slip,
         {"4.000 V", "4075.000 V", "", "4.000 V", "4.071 kV", "", "3.9992 to 4.0008 V", "5088750 %", "", "Fail"}},
        {"a slip with U: error and U each in its own prefix", withU(slip, 0.00024),
         {"4.000 V", "4075.000 V", "", "4.000 V", "4.071 kV", "240 \u00b5V (2.00)", "3.9992 to 4.0008 V", "5088750 %", "", "Fail"}},
        {"U reaching the tolerance: no decision", noDecision,
         {"20.00 mV", "20.00 mV", "", "20.00 mV", "0 \u00b5V", "110 \u00b5V (2.00)", "19.9 to 20.1 mV", "", "0.5", "No decision"}},
        {"a check: only its result", check, {"", "", "", "", "", "", "", "", "", "Fail"}},
    };
    for (const auto& c : cases) {
        const CertificateCells got = certificateCells(c.point);
        const std::pair<QString, QString> fields[] = {
            {got.nominal, c.expected.nominal},         {got.indicated, c.expected.indicated},
            {got.riseTime, c.expected.riseTime},       {got.actual, c.expected.actual},
            {got.error, c.expected.error},             {got.uncertainty, c.expected.uncertainty},
            {got.limits, c.expected.limits},           {got.toleranceUsed, c.expected.toleranceUsed},
            {got.tur, c.expected.tur},                 {got.result, c.expected.result},
        };
        for (std::size_t f = 0; f < std::size(fields); ++f)
            EXPECT_EQ(fields[f].first.toStdString(), fields[f].second.toStdString()) << c.name << ", field " << f;
    }
}

// The appendix's budget: the components as given, then u_c, ν_eff from
// them, k and U.
TEST(CertificateBudget, SummarisesTheComponents)
{
    PointResult p = withU(point(QStringLiteral("amplitude"), QStringLiteral("V"), 0.06, 0.0603, 0.06, 0.0588, 0.0612), 0.00036);
    p.coverageFactor = 2.87;
    p.budget = {{QStringLiteral("calibrator"), 170e-6, QStringLiteral("normal"), 2.0, 1.0, 85e-6, std::nullopt},
                {QStringLiteral("repeatability"), 100e-6, QStringLiteral("normal"), 1.0, 1.0, 100e-6, 4.0}};
    const QList<QStringList> rows = budgetRows(p);
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[0], (QStringList{"calibrator", "170 \u00b5V", "normal", "2", "1", "85 \u00b5V", "\u221e"}));
    EXPECT_EQ(rows[1][6], QStringLiteral("4"));
    // u_c = sqrt(85² + 100²) = 131.2 µV; ν_eff = 4 × 131.2⁴ / 100⁴ = 11.86.
    EXPECT_EQ(rows[2][5], QStringLiteral("131 \u00b5V"));
    EXPECT_EQ(rows[3][5], QStringLiteral("11"));
    EXPECT_EQ(rows[4][5], QStringLiteral("2.87"));
    EXPECT_EQ(rows[5][5], QStringLiteral("360 \u00b5V"));
}

} // namespace
} // namespace tarn
