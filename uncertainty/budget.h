#pragma once
// The uncertainty budget of one point (GUM): its components by the method
// the point is taken with, the combined standard uncertainty, the
// effective degrees of freedom, the coverage factor, the expanded
// uncertainty U and the test uncertainty ratio.

#include "uncertainty/budget_component.h"
#include "uncertainty/calibrator_spec.h"

#include <QList>
#include <QString>

#include <optional>

namespace tarn {

enum class BudgetMethod { Deviation, Reading, RiseTime };

// The fast-rise panel's calibrator edge, taken out of every rise time: ns.
inline constexpr double kPanelEdge = 0.3;

// What a point's budget is worked out from. Every figure is taken at the
// point's nominal value.
struct BudgetInput {
    CalibratorFunction function = CalibratorFunction::Amplitude;
    BudgetMethod method = BudgetMethod::Reading;
    double nominal = 0.0;            // V, Hz or s; MHz (the least bandwidth) for a rise time
    double voltsPerDivision = 0.0;   // amplitude
    int divisions = 0;               // amplitude
    bool dc = true;                  // amplitude
    bool ohm50 = false;              // amplitude
    double judgement = 0.02;         // deviation: divisions
    // The unit under test's resolution in the point's unit (ns for a rise
    // time); none: not known yet, and no component for it.
    std::optional<double> resolution;
    QList<double> readings;          // repeated readings, 2 or more
    // The rise time typed, ns; none: the rise time at the least bandwidth.
    std::optional<double> riseTime;
    // The tolerance's sides in the point's unit, not negative; none for a
    // one-sided limit.
    std::optional<double> toleranceLower;
    std::optional<double> toleranceUpper;
};

struct Budget {
    QList<BudgetComponent> components;
    double combined = 0.0;                   // u_c
    std::optional<double> effectiveDof;      // none: infinite
    double coverageFactor = 2.0;             // k, two decimals
    double expanded = 0.0;                   // U, two significant digits, rounded up
    std::optional<double> tur;               // one decimal; none for a one-sided limit
};

// The budget of a point with the calibrator file's entry for it.
// Empty, with the reason in error, when it cannot be worked out (a rise
// time at or below the panel's edge).
std::optional<Budget> computeBudget(const BudgetInput& input, const CalibratorSpecEntry& entry,
                                    QString* error = nullptr);

// Student's t for a coverage probability of 95.45 % at nu degrees of
// freedom (at least 1), rounded to two decimals: 13.97 for 1, 2.87 for 4.
// none: infinite, 2.00.
double coverageFactorFor(std::optional<int> degreesOfFreedom);

// u_c^4 / sum(u_i^4 / nu_i) over the components; none when every
// component's degrees of freedom are infinite.
std::optional<double> welchSatterthwaite(const QList<BudgetComponent>& components);

// Rounded up to two significant digits (GUM 7.2.6): 0.01234 gives 0.013,
// and 0.013 stays 0.013 whatever noise the arithmetic left on it.
double roundUpTwoSignificant(double value);

// The test uncertainty ratio, (upper + lower) / (2 U), to one decimal.
double testUncertaintyRatio(double toleranceLower, double toleranceUpper, double expanded);

// The place of the last digit of a typed number, in the number's own unit:
// "60.3" gives 0.1, "0,0603" (separator ",") 0.0001, "1200" 1.
double lastDigitPlace(const QString& number, const QString& decimalSeparator);

} // namespace tarn
