#pragma once
// The calibrator's file: what the calibrator in use is (its
// identification, its own calibration certificate and when that is due)
// and how good its outputs are, one entry per function. It is a TOML file
// written by the laboratory from the calibrator's data sheet and its
// certificate; the reader names every problem on its line.

#include "platform/platform.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace tarn {

enum class CalibratorFunction { Amplitude, Frequency, Period, FastRise };

// amplitude | frequency | period | fastrise
QString calibratorFunctionName(CalibratorFunction function);

// One [[spec]] entry.
struct CalibratorSpecEntry {
    int line = 0;  // of its [[spec]] header
    CalibratorFunction function = CalibratorFunction::Amplitude;
    // Amplitude: the load and waveform the entry is for; none: any.
    std::optional<bool> ohm50;
    std::optional<bool> dc;
    double percent = 0.0;    // amplitude: of the output
    double floor = 0.0;      // amplitude: V, added to the percentage
    double ppm = 0.0;        // frequency and period
    double riseTime = 0.0;   // fastrise: ns, the edge is at most this
    // The figures are at this coverage factor (normal distribution); none:
    // they are limits of a rectangular distribution.
    std::optional<double> coverage;

    // Whether the entry is for a point of this kind. A frequency or period
    // entry is the timer's reference and serves both timing functions.
    bool fits(CalibratorFunction pointFunction, bool pointOhm50, bool pointDc) const;
};

struct CalibratorSpec {
    QString model;
    QString serial;
    QString certificate;  // the calibrator's own calibration certificate
    QDate calibrated;     // invalid when not given
    QDate due;
    QList<CalibratorSpecEntry> entries;
    QByteArray text;      // the file's bytes as read
    QString sha256;       // of them, lower-case hex

    // The first entry that fits the point; nullptr when none does.
    const CalibratorSpecEntry* entryFor(CalibratorFunction function, bool ohm50, bool dc) const;
};

struct CalibratorProblem {
    int line = 0;
    QString message;
};

struct CalibratorSpecReading {
    std::optional<CalibratorSpec> spec;  // only when there are no problems
    QList<CalibratorProblem> problems;   // in line order
};

// Reads and checks a calibrator file's text.
CalibratorSpecReading ReadCalibratorSpec(const QByteArray& text);

// Reads the file: its problems as "FILE:LINE: message" lines (or "FILE:
// cannot be read: reason"), or the calibrator's figures.
struct CalibratorSpecFile {
    std::optional<CalibratorSpec> spec;
    QStringList problems;
};
CalibratorSpecFile LoadCalibratorSpec(const QString& file);

// A value with its unit and an SI prefix, "20 uV", "0.3 ns", "1 Hz", "5 V";
// empty when the text is not one, the unit is another or the value is not
// a finite number.
std::optional<double> parseQuantity(const QString& text, const QString& unit);

// The name of the shipped default calibrator file, beside the program.
inline constexpr const char* kDefaultCalibratorFile = "calibrator.toml";

// The calibrator file to use: `[Procedures] Calibrator=` of the
// settings file (a relative path lies beside the settings file), else the
// default beside the program when it is there; empty when there is none.
// A file the settings name is returned whether it exists or not, so that
// its absence is reported rather than passed over.
QString calibratorSpecPath(ProfileStore& profile, const QString& settingsFile,
                           const QString& applicationFolder);

// The calibrator checker: "FILE:LINE: message" for each problem and 1, or
// "FILE: <model> <serial>, N entries, due <date>" and 0.
int RunCalibratorCheck(const QString& file, QTextStream& out);

} // namespace tarn
