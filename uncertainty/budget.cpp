#include "uncertainty/budget.h"

#include <algorithm>
#include <cmath>

namespace tarn {

namespace {

const double kSqrt3 = std::sqrt(3.0);
constexpr double kBandwidthFactor = 350.0;  // MHz times ns, as the fast-rise panel
constexpr double kCoverageProbability = 0.9545;
constexpr double kSmallestDeviationStep = 1e-4;  // of the nominal: 0.01 %
constexpr double kAmplitudeCommandStep = 1e-6;   // V per division: the A command's last decimal

BudgetComponent component(const QString& name, double value, const QString& distribution, double divisor,
                          double sensitivity = 1.0, std::optional<double> dof = std::nullopt)
{
    BudgetComponent c;
    c.name = name;
    c.value = value;
    c.distribution = distribution;
    c.divisor = divisor;
    c.sensitivity = sensitivity;
    c.standardUncertainty = value / divisor * sensitivity;
    c.degreesOfFreedom = dof;
    return c;
}

BudgetComponent rectangular(const QString& name, double halfWidth, double sensitivity = 1.0)
{
    return component(name, halfWidth, QStringLiteral("rectangular"), kSqrt3, sensitivity);
}

// The calibrator's half-width as its entry gives it.
BudgetComponent calibrator(const QString& name, double halfWidth, const CalibratorSpecEntry& entry,
                           double sensitivity = 1.0)
{
    if (entry.coverage)
        return component(name, halfWidth, QStringLiteral("normal"), *entry.coverage, sensitivity);
    return rectangular(name, halfWidth, sensitivity);
}

// Continued fraction of the incomplete beta function (modified Lentz).
double betaFraction(double a, double b, double x)
{
    constexpr double tiny = 1e-300;
    const double qab = a + b, qap = a + 1.0, qam = a - 1.0;
    double c = 1.0;
    double d = 1.0 - qab * x / qap;
    d = 1.0 / (std::fabs(d) < tiny ? tiny : d);
    double h = d;
    for (int m = 1; m <= 500; ++m) {
        const int m2 = 2 * m;
        double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
        d = 1.0 + aa * d;
        d = 1.0 / (std::fabs(d) < tiny ? tiny : d);
        c = 1.0 + aa / c;
        c = std::fabs(c) < tiny ? tiny : c;
        h *= d * c;
        aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
        d = 1.0 + aa * d;
        d = 1.0 / (std::fabs(d) < tiny ? tiny : d);
        c = 1.0 + aa / c;
        c = std::fabs(c) < tiny ? tiny : c;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1.0) < 1e-15)
            break;
    }
    return h;
}

// The regularised incomplete beta function I_x(a, b).
double incompleteBeta(double a, double b, double x)
{
    if (x <= 0.0)
        return 0.0;
    if (x >= 1.0)
        return 1.0;
    const double front =
        std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
    if (x < (a + 1.0) / (a + b + 2.0))
        return front * betaFraction(a, b, x) / a;
    return 1.0 - front * betaFraction(b, a, 1.0 - x) / b;
}

// P(|T| <= t) for Student's t at nu degrees of freedom.
double centralProbability(double t, double nu)
{
    return 1.0 - incompleteBeta(nu / 2.0, 0.5, nu / (nu + t * t));
}

} // namespace

double coverageFactorFor(std::optional<int> degreesOfFreedom)
{
    // Beyond a million degrees of freedom t differs from the normal
    // distribution's 2.00 far below the second decimal.
    if (!degreesOfFreedom || *degreesOfFreedom > 1000000)
        return 2.0;
    const double nu = std::max(1, *degreesOfFreedom);
    double low = 1.0, high = 100.0;  // t(1) is 13.97
    for (int i = 0; i < 200 && high - low > 1e-12; ++i) {
        const double mid = (low + high) / 2.0;
        (centralProbability(mid, nu) < kCoverageProbability ? low : high) = mid;
    }
    return std::round((low + high) / 2.0 * 100.0) / 100.0;
}

std::optional<double> welchSatterthwaite(const QList<BudgetComponent>& components)
{
    double variance = 0.0;
    double denominator = 0.0;
    for (const BudgetComponent& c : components) {
        const double u2 = c.standardUncertainty * c.standardUncertainty;
        variance += u2;
        if (c.degreesOfFreedom)
            denominator += u2 * u2 / *c.degreesOfFreedom;
    }
    if (!(denominator > 0.0))
        return std::nullopt;
    return variance * variance / denominator;
}

double roundUpTwoSignificant(double value)
{
    if (!(value > 0.0) || !std::isfinite(value))
        return value;
    int exponent = static_cast<int>(std::floor(std::log10(value))) - 1;
    double scaled = 0.0;
    for (int i = 0; i < 3; ++i) {
        scaled = exponent < 0 ? value * std::pow(10.0, -exponent) : value / std::pow(10.0, exponent);
        // The last digits of the arithmetic are noise, not uncertainty: 0.013
        // that came out as 0.0130000000000000002 is still 0.013.
        scaled = std::round(scaled * 1e7) / 1e7;
        if (scaled >= 100.0)
            ++exponent;
        else if (scaled < 10.0)
            --exponent;
        else
            break;
    }
    const double digits = std::ceil(scaled);
    return exponent < 0 ? digits / std::pow(10.0, -exponent) : digits * std::pow(10.0, exponent);
}

double testUncertaintyRatio(double toleranceLower, double toleranceUpper, double expanded)
{
    const double tenths = (toleranceLower + toleranceUpper) / (2.0 * expanded) * 10.0;
    return std::round(std::round(tenths * 1e6) / 1e6) / 10.0;
}

double lastDigitPlace(const QString& number, const QString& decimalSeparator)
{
    const qsizetype separator = decimalSeparator.isEmpty() ? -1 : number.indexOf(decimalSeparator);
    if (separator < 0)
        return 1.0;
    int decimals = 0;
    for (qsizetype i = separator + decimalSeparator.size(); i < number.size(); ++i)
        if (number[i].isDigit())
            ++decimals;
    return decimals == 0 ? 1.0 : 1.0 / std::pow(10.0, decimals);
}

std::optional<Budget> computeBudget(const BudgetInput& in, const CalibratorSpecEntry& entry, QString* error)
{
    Budget b;
    const double nominal = std::fabs(in.nominal);
    switch (in.method) {
    case BudgetMethod::Deviation:
    case BudgetMethod::Reading:
        if (in.function == CalibratorFunction::Amplitude)
            b.components << calibrator(QStringLiteral("calibrator"), entry.percent / 100.0 * nominal + entry.floor,
                                       entry);
        else
            b.components << calibrator(QStringLiteral("calibrator"), entry.ppm * 1e-6 * nominal, entry);
        break;
    case BudgetMethod::RiseTime: break;
    }

    if (in.method == BudgetMethod::Deviation) {
        // The smallest change the operator can make: the deviation's step, or
        // what the A command can carry when that is coarser.
        const double step =
            std::max(kSmallestDeviationStep * nominal, kAmplitudeCommandStep * in.divisions);
        b.components << rectangular(QStringLiteral("deviation step"), step / 2.0);
        // Both ends of the trace are set on a graticule line.
        b.components << rectangular(QStringLiteral("judgement"), in.judgement * in.voltsPerDivision,
                                    std::sqrt(2.0));
    }

    if (in.method == BudgetMethod::Reading) {
        if (in.resolution)
            b.components << rectangular(QStringLiteral("resolution"), *in.resolution / 2.0);
        if (in.readings.size() >= 2) {
            const double n = static_cast<double>(in.readings.size());
            double mean = 0.0;
            for (double r : in.readings)
                mean += r / n;
            double squares = 0.0;
            for (double r : in.readings)
                squares += (r - mean) * (r - mean);
            const double s = std::sqrt(squares / (n - 1.0));
            b.components << component(QStringLiteral("repeatability"), s, QStringLiteral("normal"), std::sqrt(n),
                                      1.0, n - 1.0);
        }
    }

    if (in.method == BudgetMethod::RiseTime) {
        const double g = kPanelEdge;
        const double t = in.riseTime ? *in.riseTime
                                     : std::sqrt(std::pow(kBandwidthFactor / nominal, 2) + g * g);
        const double d = t * t - g * g;
        if (!(d > 0.0) || !std::isfinite(d)) {
            if (error)
                *error = QStringLiteral("the rise time must be above the calibrator's edge of %1 ns").arg(g);
            return std::nullopt;
        }
        const double bandwidth = kBandwidthFactor / std::sqrt(d);
        if (in.resolution)
            b.components << rectangular(QStringLiteral("rise time resolution (ns)"), *in.resolution / 2.0,
                                        bandwidth * t / d);
        b.components << rectangular(QStringLiteral("calibrator edge (ns)"), entry.riseTime / 2.0,
                                    bandwidth * g / d);
    }

    double variance = 0.0;
    for (const BudgetComponent& c : b.components)
        variance += c.standardUncertainty * c.standardUncertainty;
    b.combined = std::sqrt(variance);
    b.effectiveDof = welchSatterthwaite(b.components);
    std::optional<int> nu;
    if (b.effectiveDof && *b.effectiveDof < 2e9)
        nu = static_cast<int>(std::floor(*b.effectiveDof + 1e-9));  // 4 that came out as 3.9999999999 is 4
    b.coverageFactor = coverageFactorFor(nu);
    b.expanded = roundUpTwoSignificant(b.coverageFactor * b.combined);
    if (in.toleranceLower && in.toleranceUpper && b.expanded > 0.0)
        b.tur = testUncertaintyRatio(*in.toleranceLower, *in.toleranceUpper, b.expanded);
    return b;
}

} // namespace tarn
