#pragma once
// The oscilloscope as scope-sim plays it: it speaks the dialect of a
// driver file and measures the calibrator's output, as tarn-sim's state
// file describes it, with a gain error, an offset and noise of its own.

#include "uut/driver.h"

#include <QRegularExpression>
#include <QString>

#include <optional>
#include <random>
#include <vector>

namespace tarn::sim {

// The calibrator's output from tarn-sim's state text; "OFF" when empty.
struct CalibratorOutput {
    QString function = QStringLiteral("OFF");
    double amplitude = 0.0;  // volts per division
    int divisions = 0;
    bool square = false;
    double frequency = 1000.0;
    double period = 0.001;
    double duty = 50.0;

    static CalibratorOutput fromText(const QString& text);
};

struct ScopeErrors {
    double gain = 0.0;       // fraction: 0.01 reads 1 % high
    double offset = 0.0;     // volts, added to levels
    double timebase = 0.0;   // fraction, added to frequencies
    double noise = 0.0;      // fraction of the reading, one standard deviation
    double bandwidthMHz = 200.0;
    int channel = 1;         // the channel the calibrator is connected to
    unsigned seed = 1;
};

// The value an ideal oscilloscope reads; nothing when it would have no
// measurement. Square waves and timing outputs run from 0 V to their
// level; the timing outputs and the fast edge are 1 V high.
std::optional<double> IdealReading(const CalibratorOutput& output, MeasureKind kind, double riseTime);

class ScopeModel {
public:
    ScopeModel(UutDriver driver, QString identity, ScopeErrors errors);

    struct Answer {
        bool known = true;              // a line of the dialect
        std::optional<QString> reply;   // for a query
    };
    // One received line; `output` is the calibrator's present output.
    Answer receive(const QString& line, const CalibratorOutput& output);

    // The reply that means "no measurement" in this dialect.
    QString noMeasurement() const;
    bool withHeader = false;
    bool withUnit = false;

private:
    struct Template {
        QRegularExpression pattern;
        MeasureKind kind;
    };
    static QRegularExpression compile(const QString& command);
    std::optional<double> measured(const CalibratorOutput& output, MeasureKind kind, int channel);
    QString format(const QString& query, MeasureKind kind, double value) const;

    UutDriver driver_;
    QString identity_;
    ScopeErrors errors_;
    std::mt19937_64 random_;
    std::vector<Template> selects_, queries_;
    std::vector<QRegularExpression> setup_;
    std::optional<MeasureKind> selectedKind_;
    int selectedChannel_ = 1;
};

} // namespace tarn::sim
