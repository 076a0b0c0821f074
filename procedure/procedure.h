#pragma once
// A calibration procedure: a list of tests, each a list of points set on one
// function of the calibrator, with the tolerance a point must meet and the
// way its result is taken. Procedures are TOML files written by hand; the
// reader names every problem on its line, and the same checks guard the
// runner before anything is sent.

#include "channel/number_format.h"
#include "procedure/results.h"
#include "uncertainty/budget.h"
#include "uncertainty/calibrator_spec.h"
#include "uut/driver.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tarn {

enum class TestFunction { Amplitude, Frequency, Period, FastRise };
enum class TestMethod { Deviation, Reading, Check, RiseTime };
enum class DecisionRule { Simple, Guarded, NonBinary };

QString functionName(TestFunction function);   // amplitude | frequency | period | fastrise
QString decisionRuleName(DecisionRule rule);   // simple | guarded | non-binary
// The unit of a function's nominal: V, Hz, s or MHz.
QString nominalUnit(TestFunction function);

// One side of a tolerance, as written.
struct ToleranceSide {
    enum class Form { Percent, Ppm, Absolute, Divisions };
    Form form = Form::Percent;
    double value = 0.0;  // not negative

    // The side in the point's unit, for a nominal and (amplitude) its
    // volts per division.
    double absolute(double nominal, double voltsPerDivision) const;
};

struct Tolerance {
    ToleranceSide lower;
    ToleranceSide upper;
};

// One tolerance text: "2%", "10 ppm", "0.5 mV", "2 ns", "50 Hz", "0.1 div".
// The unit of an absolute value must be `unit` (V, Hz or s) with an SI
// prefix; divisions are allowed for amplitude only. A sign, when written,
// must be the side's own ("-" lower, "+" upper, 0 either). Returns the
// reason in error when it cannot be read.
std::optional<ToleranceSide> parseToleranceSide(const QString& text, const QString& unit,
                                                bool divisionsAllowed, int sign, QString* error);

struct ProcedureTest {
    int line = 0;  // of the [[test]] table
    QString name;
    QString instruction;
    TestFunction function = TestFunction::Amplitude;
    TestMethod method = TestMethod::Reading;
    bool dc = true;         // amplitude: DC level, else square wave
    int divisions = 0;      // amplitude
    bool ohm50 = false;     // amplitude
    Tolerance tolerance;    // not for check and risetime
    double minBandwidth = 0.0;  // fastrise, MHz
    QList<double> points;   // V/div, Hz or s; one placeholder for fastrise
    QList<int> pointLines;  // where each point is written
    // The uncertainty budget's figures: how well the operator sees the trace
    // on a graticule line (deviation, divisions), the unit's resolution in
    // the point's unit (reading; ns for risetime; none: the last digit
    // typed), and how many readings each point takes (reading).
    double judgement = 0.02;
    std::optional<double> resolution;
    int readings = 1;
    // Taken from the unit under test over its remote interface (reading and
    // risetime tests of a procedure with a [uut] table); then `readings`
    // defaults to 5.
    std::optional<MeasureKind> measure;
    int measureLine = 0;

    // The nominal of a point: V (volts per division x divisions), Hz, s,
    // or the least bandwidth in MHz.
    double nominal(int point) const;
};

// The limits of a condition of the run, e.g. 18 to 28 °C.
struct ConditionRange {
    double lowest = 0.0;
    double highest = 0.0;
    bool holds(double value) const { return value >= lowest && value <= highest; }
};

// The unit under test's remote interface, as the procedure's [uut] table
// names it; the settings file's [UUT] Resource= and Driver= override it.
struct ProcedureUut {
    int line = 0;
    QString driver;    // a shipped driver's name, or a path
    int driverLine = 0;
    QString resource;  // may be empty when the settings file gives it
    int resourceLine = 0;
    int channel = 1;
};

struct Procedure {
    QString title;
    QString instrument;
    QString revision;
    QString dataSheet;  // the maker's data sheet the unit is checked against
    std::optional<ConditionRange> temperature;  // °C
    std::optional<ConditionRange> humidity;     // % relative humidity
    DecisionRule rule = DecisionRule::Simple;
    QString guardText;     // as written, e.g. "10%" or "U"
    double guard = 0.0;    // share of each tolerance, 0.1 for "10%"
    // guard = "U": the guard band is each point's expanded uncertainty.
    bool guardIsUncertainty = false;
    int guardLine = 0;
    // A point whose test uncertainty ratio is below this is flagged.
    double minTur = 4.0;
    std::optional<ProcedureUut> uut;
    QList<ProcedureTest> tests;

    int pointCount() const;
};

struct ProcedureProblem {
    int line = 0;
    QString message;
};

struct ProcedureReading {
    std::optional<Procedure> procedure;  // only when there are no problems
    QList<ProcedureProblem> problems;    // in line order
};

// Reads and checks a procedure's text.
ProcedureReading ReadProcedure(const QByteArray& text);

// The problem with taking a test's results as `measure`, or empty when the
// kind fits: mean for a DC level, peak_to_peak or amplitude for the square
// wave, frequency and period for their functions, rise_time for fast rise.
QString measureProblem(const ProcedureTest& test, MeasureKind kind);

// --- Rules of the panels, as a procedure meets them ------------------------
// Each returns the problem with a point, or empty when the panel sets it.
QString amplitudeProblem(double voltsPerDivision, int divisions, bool ohm50);
QString frequencyProblem(double hertz);
QString periodProblem(double seconds);

// --- Evaluation --------------------------------------------------------------
// The limits of a point as errors: from -lower to +upper.
struct PointLimits {
    double lower = 0.0;  // not negative
    double upper = 0.0;  // not negative
};
PointLimits limitsOf(const ProcedureTest& test, int point);

// The verdict on an error under a decision rule (ILAC G8). guard is the
// share of each tolerance; an error on a limit, within 1e-9 of the
// nominal, counts as on it. With the point's expanded uncertainty U: no
// decision when U reaches the tolerance on either side, and with
// guardIsUncertainty the guard band is U on each side instead of the share.
Verdict decide(double error, const PointLimits& limits, double nominal, DecisionRule rule,
               double guard, std::optional<double> uncertainty = std::nullopt,
               bool guardIsUncertainty = false);
// The verdict on a value that must be at least minimum (a bandwidth). With
// guardIsUncertainty the acceptance limit is minimum + U.
Verdict decideAtLeast(double value, double minimum, DecisionRule rule,
                      std::optional<double> uncertainty = std::nullopt, bool guardIsUncertainty = false);
// indicated - actual without the noise of the subtraction: rounded to the
// twelfth significant digit of the larger of the two, so that 1000.01 -
// 1000 is 0.01 as the operator works it out.
double errorOf(double indicated, double actual);
// |error| over the tolerance on the error's side, in percent.
std::optional<double> toleranceUsed(double error, const PointLimits& limits);

// --- Uncertainty --------------------------------------------------------------
// The point briefly, in "." notation: "10 mV/div x 6 div", "10 MHz",
// "1 ms", "at least 100 MHz".
QString pointLabel(const ProcedureTest& test, int point);
CalibratorFunction calibratorFunctionOf(TestFunction function);
// The budget of a point (not for check) from the calibrator file:
// the test's resolution, else typedResolution; the readings of a point
// taken more than once; the rise time typed. Empty, with the reason in
// error, when the calibrator file has no entry for the point.
std::optional<Budget> pointBudget(const ProcedureTest& test, int point, const CalibratorSpec& spec,
                                  std::optional<double> typedResolution = std::nullopt,
                                  const QList<double>& readings = {},
                                  std::optional<double> riseTime = std::nullopt, QString* error = nullptr);

// --- Numbers as the operator reads and types them -------------------------
// A prefix scale for showing a value: 1e-3 for 60 mV, 1e3 for 999.98 kHz.
struct ShownUnit {
    double scale = 1.0;
    QString text;  // "mV", "kHz", "ns"
};
ShownUnit shownUnitOf(double value, const QString& unit);
// A value in a shown unit, up to 7 significant digits, in the operator's
// format: "60 mV", "999.98 kHz".
QString shownValue(double value, const QString& unit, const NumberFormat& format);
// A typed reading: a bare number in the shown unit, or a number with a
// prefixed unit ("0.0603 V", "60.3 mV", "60.3 mv", "12 us"), in the
// operator's format. Empty when it is neither; where the case of a prefix
// would change its meaning ("MV" is megavolts, not millivolts) nothing is
// guessed, and why, when given, says so.
std::optional<double> parseReading(const QString& text, const ShownUnit& shown, const QString& unit,
                                   const NumberFormat& format, QString* why = nullptr);

// The question to ask before a typed reading is kept when its error is
// more than ten times the tolerance on its side: "Record 4075 V for a
// nominal of 4 V?", both in unitShown, the unit beside the box ("mV",
// "kHz"). When a bare number was typed and that unit is not the previous
// point's, the question says so. Empty when the reading is plausible.
std::optional<QString> implausibleReading(double typedValue, double nominal, const PointLimits& limits,
                                          const QString& unitShown, bool bareNumber,
                                          const QString& previousUnitShown, const NumberFormat& format);

// The resolution of a typed reading, the place of its last digit, read as
// parseReading reads the text: 0.0001 for "60.3" in mV or "0.0603 V".
// Empty when the text is not a reading.
std::optional<double> typedResolution(const QString& text, const ShownUnit& shown, const QString& unit,
                                      const NumberFormat& format);

} // namespace tarn
