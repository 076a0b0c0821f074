#include "uncertainty/budget.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarn {
namespace {

CalibratorSpecEntry amplitudeEntry()  // 0.25 % + 20 uV at k = 2
{
    CalibratorSpecEntry e;
    e.percent = 0.25;
    e.floor = 20e-6;
    e.coverage = 2.0;
    return e;
}

CalibratorSpecEntry timerEntry()  // 50 ppm, limits
{
    CalibratorSpecEntry e;
    e.function = CalibratorFunction::Frequency;
    e.ppm = 50;
    return e;
}

CalibratorSpecEntry edgeEntry()  // at most 0.3 ns, limits
{
    CalibratorSpecEntry e;
    e.function = CalibratorFunction::FastRise;
    e.riseTime = 0.3;
    return e;
}

BudgetInput amplitude(BudgetMethod method, double vpd, int divisions)
{
    BudgetInput in;
    in.method = method;
    in.voltsPerDivision = vpd;
    in.divisions = divisions;
    in.nominal = vpd * divisions;
    return in;
}

// Every figure below was worked out by hand from the method's components.
TEST(Budget, ComponentsPerMethodWithHandComputedFigures)
{
    const double r3 = std::sqrt(3.0);
    struct Case {
        const char* what;
        BudgetInput input;
        CalibratorSpecEntry entry;
        std::vector<double> u;  // u_i in order
        double combined;
        std::optional<double> dof;
        double k;
        double expanded;
        std::optional<double> tur;
    };
    std::vector<Case> cases;

    // 10 mV/div x 6 div: calibrator 0.25 % x 60 mV + 20 uV = 170 uV at k = 2;
    // step max(6 uV, 1 uV/div x 6) = 6 uV, +-3 uV; judgement 0.02 div x
    // 10 mV = 0.2 mV, twice. u_c = 184.105 uV, U = 2 x u_c = 368.2 uV ->
    // 0.00037 V; +-1 mV gives TUR 2 mV / 0.74 mV = 2.7.
    BudgetInput deviation = amplitude(BudgetMethod::Deviation, 0.01, 6);
    deviation.toleranceLower = deviation.toleranceUpper = 0.001;
    cases.push_back({"deviation 10 mV/div x 6", deviation, amplitudeEntry(),
                     {85e-6, 3e-6 / r3, 0.0002 / r3 * std::sqrt(2.0)}, 184.10504e-6, std::nullopt, 2.0, 0.00037,
                     2.7});

    // 1 mV/div x 4 div: the deviation's 0.01 % (0.4 uV) is finer than the A
    // command's 1 uV/div x 4 = 4 uV, so the step is 4 uV. Calibrator 10 uV
    // + 20 uV at k = 2. u_c = 22.2036 uV, U = 44.41 uV -> 0.000045 V.
    BudgetInput fine = amplitude(BudgetMethod::Deviation, 0.001, 4);
    fine.judgement = 0.02;
    cases.push_back({"deviation 1 mV/div x 4", fine, amplitudeEntry(),
                     {15e-6, 2e-6 / r3, 2e-5 / r3 * std::sqrt(2.0)}, 22.2036e-6, std::nullopt, 2.0, 0.000045,
                     std::nullopt});

    // Five readings of 60 mV: mean 60.2 mV, s = 0.158114 mV, u = s / sqrt 5
    // = 70.711 uV at nu = 4; resolution 0.1 mV; calibrator 85 uV.
    // u_c = 114.273 uV, nu_eff = u_c^4 / (u_r^4 / 4) = 27.28 -> 27, k = 2.10,
    // U = 239.97 uV -> 0.00024 V; +-2 % (1.2 mV) gives TUR 5.0.
    BudgetInput repeated = amplitude(BudgetMethod::Reading, 0.01, 6);
    repeated.resolution = 0.0001;
    repeated.readings = {0.0601, 0.0603, 0.0602, 0.0604, 0.0600};
    repeated.toleranceLower = repeated.toleranceUpper = 0.0012;
    cases.push_back({"five readings", repeated, amplitudeEntry(), {85e-6, 5e-5 / r3, 70.7107e-6}, 114.2731e-6,
                     27.2832, 2.10, 0.00024, 5.0});

    // 10 MHz: 50 ppm = 500 Hz limits; resolution 1 Hz. u_c = 288.675 Hz,
    // U = 577.35 -> 580 Hz; +-1 kHz gives TUR 2000 / 1160 = 1.7.
    BudgetInput frequency;
    frequency.function = CalibratorFunction::Frequency;
    frequency.nominal = 10e6;
    frequency.resolution = 1.0;
    frequency.toleranceLower = frequency.toleranceUpper = 1000.0;
    cases.push_back({"frequency 10 MHz", frequency, timerEntry(), {500 / r3, 0.5 / r3}, 288.67528, std::nullopt,
                     2.0, 580.0, 1.7});

    // 1 ms without a known resolution: 50 ppm = 50 ns limits alone,
    // U = 2 x 28.8675 ns -> 58 ns.
    BudgetInput period;
    period.function = CalibratorFunction::Period;
    period.nominal = 1e-3;
    cases.push_back({"period 1 ms", period, timerEntry(), {5e-8 / r3}, 28.8675e-9, std::nullopt, 2.0, 58e-9,
                     std::nullopt});

    // 3.5 ns typed to 0.1 ns at least 100 MHz: b = 350 / sqrt(12.25 - 0.09)
    // = 100.369 MHz; db/dt = b t / 12.16 = 28.889, db/dg = b g / 12.16 =
    // 2.4762; u_t = 0.05 / sqrt 3, u_g = 0.3 / sqrt 12. u_b = 0.86109 MHz,
    // U = 1.7222 -> 1.8 MHz, no TUR for the one-sided limit.
    BudgetInput rise;
    rise.function = CalibratorFunction::FastRise;
    rise.method = BudgetMethod::RiseTime;
    rise.nominal = 100.0;
    rise.riseTime = 3.5;
    rise.resolution = 0.1;
    cases.push_back({"rise time typed", rise, edgeEntry(), {28.88921 * 0.05 / r3, 2.476218 * 0.15 / r3},
                     0.8610902, std::nullopt, 2.0, 1.8, std::nullopt});

    // Before the run: the rise time at 100 MHz, sqrt(3.5^2 + 0.3^2) =
    // 3.51283 ns, and only the calibrator's edge: u = 0.212088 MHz,
    // U = 0.42418 -> 0.43 MHz.
    BudgetInput riseAhead = rise;
    riseAhead.riseTime.reset();
    riseAhead.resolution.reset();
    cases.push_back({"rise time ahead", riseAhead, edgeEntry(), {0.2120879}, 0.2120879, std::nullopt, 2.0, 0.43,
                     std::nullopt});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto b = computeBudget(c.input, c.entry);
        ASSERT_TRUE(b.has_value());
        ASSERT_EQ(b->components.size(), static_cast<qsizetype>(c.u.size()));
        for (size_t i = 0; i < c.u.size(); ++i) {
            const BudgetComponent& comp = b->components[static_cast<qsizetype>(i)];
            EXPECT_NEAR(comp.standardUncertainty, c.u[i], c.u[i] * 1e-5) << comp.name.toStdString();
            EXPECT_NEAR(comp.value / comp.divisor * comp.sensitivity, comp.standardUncertainty, c.u[i] * 1e-12);
        }
        EXPECT_NEAR(b->combined, c.combined, c.combined * 1e-6);
        ASSERT_EQ(b->effectiveDof.has_value(), c.dof.has_value());
        if (c.dof) {
            EXPECT_NEAR(*b->effectiveDof, *c.dof, 1e-3);
        }
        EXPECT_DOUBLE_EQ(b->coverageFactor, c.k);
        EXPECT_DOUBLE_EQ(b->expanded, c.expanded);
        EXPECT_EQ(b->tur, c.tur);
    }
    EXPECT_EQ(computeBudget(cases.back().input, edgeEntry())->components.first().distribution,
              QStringLiteral("rectangular"));
    EXPECT_EQ(computeBudget(deviation, amplitudeEntry())->components.first().distribution, QStringLiteral("normal"));

    QString error;
    BudgetInput tooFast = rise;
    tooFast.riseTime = 0.3;
    EXPECT_FALSE(computeBudget(tooFast, edgeEntry(), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(Budget, CoverageFactorIsStudentsTAt9545PercentToTwoDecimals)
{
    // The published table of t for 95.45 %.
    const struct {
        std::optional<int> nu;
        double k;
    } cases[] = {
        {1, 13.97}, {2, 4.53}, {3, 3.31}, {4, 2.87},  {5, 2.65},  {9, 2.32},         {10, 2.28},
        {20, 2.13}, {27, 2.10}, {45, 2.06}, {50, 2.05}, {100, 2.03}, {std::nullopt, 2.00},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(coverageFactorFor(c.nu), c.k) << (c.nu ? *c.nu : -1);
    EXPECT_DOUBLE_EQ(coverageFactorFor(100000), 2.0);
}

TEST(Budget, ExpandedUncertaintyIsRoundedUpToTwoSignificantDigits)
{
    const struct {
        double value;
        double rounded;
    } cases[] = {
        {0.01234, 0.013},
        {0.013, 0.013},
        {0.1 + 0.2 - 0.29, 0.01},              // 0.010000000000000009
        {3 * 0.0043333333333333335, 0.013},    // 0.013000000000000001
        {0.0130001, 0.014},
        {99.2, 100.0},
        {995.0, 1000.0},
        {0.00036821, 0.00037},
        {577.35, 580.0},
        {2.0, 2.0},
        {0.0, 0.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(roundUpTwoSignificant(c.value), c.rounded) << c.value;
    // TUR to one decimal, a half up even when the division leaves it a hair below.
    EXPECT_DOUBLE_EQ(testUncertaintyRatio(0.001, 0.001, 0.00037), 2.7);
    EXPECT_DOUBLE_EQ(testUncertaintyRatio(0.55, 0.55, 0.2), 2.8);
    EXPECT_DOUBLE_EQ(lastDigitPlace(QStringLiteral("0.0603"), QStringLiteral(".")), 0.0001);
    EXPECT_DOUBLE_EQ(lastDigitPlace(QStringLiteral("60,30"), QStringLiteral(",")), 0.01);
    EXPECT_DOUBLE_EQ(lastDigitPlace(QStringLiteral("1200"), QStringLiteral(".")), 1.0);
}

} // namespace
} // namespace tarn
