#pragma once
// A driver: what one family of oscilloscopes is sent and how its replies
// are read, as data in a TOML file. Nothing about any family is in the
// code; the file format is described in the README.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <array>
#include <optional>

namespace tarn {

enum class MeasureKind { Amplitude, PeakToPeak, Mean, Frequency, Period, RiseTime };
inline constexpr int kMeasureKindCount = 6;

// "amplitude", "peak_to_peak", "mean", "frequency", "period", "rise_time".
QString MeasureKindName(MeasureKind kind);
std::optional<MeasureKind> MeasureKindFromName(const QString& name);
// The base unit a reply may carry: "V", "Hz" or "s".
QString MeasureKindUnit(MeasureKind kind);

struct DriverMeasurement {
    QStringList select;  // sent before the query when the measurement or channel changes
    QString query;       // "{ch}" stands for the channel number
};

struct UutDriver {
    QString name;         // the file's base name
    QString description;
    QString identify;     // a regular expression the *IDN? reply must contain
    QStringList setup;    // sent once after connecting
    std::array<std::optional<DriverMeasurement>, kMeasureKindCount> measurements;
    QString number;       // a regular expression; its first group is the number (with any unit)
    QStringList noMeasurement;  // replies, or numbers, that mean "no measurement"
    int timeoutMs = 2000;
    int settleMs = 500;

    const std::optional<DriverMeasurement>& measurement(MeasureKind kind) const
    {
        return measurements[static_cast<std::size_t>(kind)];
    }
};

// The number pattern of a driver that gives none: the reply's last field,
// after any header ("C1:PAVA PKPK,1.04E+00V" gives "1.04E+00V").
QString DefaultNumberPattern();

struct DriverProblem {
    int line = 0;
    QString message;
};

struct DriverReading {
    std::optional<UutDriver> driver;  // nothing when any problem was found
    QList<DriverProblem> problems;    // by line
};

// Reads a driver file's text; `name` becomes the driver's name.
DriverReading ReadUutDriver(const QByteArray& text, const QString& name);
// Reads a driver file.
DriverReading ReadUutDriverFile(const QString& path);

// A driver by `driver = "..."`: a bare name is a shipped driver,
// `<driversFolder>/<name>.toml`; anything with a "/" or ending in ".toml"
// is a path, taken from `baseFolder` when relative. Nothing with the reason.
std::optional<QString> FindUutDriverFile(const QString& nameOrPath, const QString& driversFolder,
                                         const QString& baseFolder, QString* problem);

// A command with "{ch}" replaced by the channel number.
QString WithChannel(const QString& command, int channel);

struct ParsedReply {
    enum class Outcome { Value, NoMeasurement, Unparsable };
    Outcome outcome = Outcome::Unparsable;
    double value = 0.0;  // in the base unit; only for Value
    QString reason;      // for Unparsable
};

// Takes the number out of a reply as the driver says. A value whose
// magnitude is 9.9E37 or more is SCPI's infinity or not-a-number and means
// "no measurement" whatever the driver lists.
ParsedReply ParseUutReply(const UutDriver& driver, MeasureKind kind, const QByteArray& reply);

// Writes "FILE:LINE: message" for each problem and returns 1, or
// "FILE: driver NAME, N measurements" and returns 0.
int RunDriverCheck(const QString& file, QTextStream& out);

} // namespace tarn
