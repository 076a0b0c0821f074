#pragma once

#include <QString>

#include <optional>

namespace tarn {

// One contribution to a point's uncertainty budget, in the point's unit
// (after its sensitivity coefficient).
struct BudgetComponent {
    QString name;              // "calibrator", "deviation step", "reading resolution", ...
    double value = 0.0;        // the half-width, or the standard deviation it is taken from
    QString distribution;      // "normal" or "rectangular"
    double divisor = 1.0;      // value / divisor x sensitivity = standardUncertainty
    double sensitivity = 1.0;  // |c_i|
    double standardUncertainty = 0.0;     // u_i
    std::optional<double> degreesOfFreedom;  // none: infinite (type B)

    friend bool operator==(const BudgetComponent&, const BudgetComponent&) = default;
};

}  // namespace tarn
