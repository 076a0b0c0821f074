#include "uut/driver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace tarn;

namespace {

using Outcome = ParsedReply::Outcome;

UutDriver driverWith(const QStringList& none, const QString& number = {})
{
    UutDriver d;
    d.name = QStringLiteral("test");
    d.noMeasurement = none;
    d.number = number;
    return d;
}

TEST(UutReply, NumbersHeadersUnitsAndSentinels)
{
    const QStringList none = {QStringLiteral("9.9E37"), QStringLiteral("****")};
    struct Case {
        const char* reply;
        MeasureKind kind;
        Outcome outcome;
        double value;
        const char* number;  // the driver's pattern, "" for the default
    };
    const MeasureKind pp = MeasureKind::PeakToPeak;
    const Case cases[] = {
        {"1.04E+00", pp, Outcome::Value, 1.04, ""},
        {"  +1.040000E+00\r", pp, Outcome::Value, 1.04, ""},
        {"-0.25", MeasureKind::Mean, Outcome::Value, -0.25, ""},
        {"C1:PAVA PKPK,1.04E+00V", pp, Outcome::Value, 1.04, ""},
        {"PKPK,1.04E+00V", pp, Outcome::Value, 1.04, ""},
        {":MEASURE:VPP CHANNEL1,2.5E-01", pp, Outcome::Value, 0.25, ""},
        {"MEASUREMENT:IMMED:VALUE 1.0E3", MeasureKind::Frequency, Outcome::Value, 1000.0, ""},
        {"C1:PAVA FREQ,1.00E+03Hz", MeasureKind::Frequency, Outcome::Value, 1000.0, ""},
        {"1.00kHz", MeasureKind::Frequency, Outcome::Value, 1000.0, ""},
        {"2.80E-09S", MeasureKind::RiseTime, Outcome::Value, 2.8e-9, ""},
        {"2.8ns", MeasureKind::RiseTime, Outcome::Value, 2.8e-9, ""},
        {"250mV", pp, Outcome::Value, 0.25, ""},
        {"1.5MHz", MeasureKind::Frequency, Outcome::Value, 1.5e6, ""},
        // "no measurement", as a number, a text, in a header, and SCPI's own.
        {"9.9E37", pp, Outcome::NoMeasurement, 0, ""},
        {"+9.90000E+37", pp, Outcome::NoMeasurement, 0, ""},
        {"C1:PAVA PKPK,****", pp, Outcome::NoMeasurement, 0, ""},
        {"****", pp, Outcome::NoMeasurement, 0, ""},
        {"9.91E37", pp, Outcome::NoMeasurement, 0, ""},
        {"-9.9E37", pp, Outcome::NoMeasurement, 0, ""},
        // Nothing is taken from a reply that does not hold a reading.
        {"", pp, Outcome::Unparsable, 0, ""},
        {"\x07\xff\x1b\xfe", pp, Outcome::Unparsable, 0, ""},
        {"ERROR", pp, Outcome::Unparsable, 0, ""},
        {"1.2.3", pp, Outcome::Unparsable, 0, ""},
        {"1.04E+00Hz", pp, Outcome::Unparsable, 0, ""},
        {"1.04E+00%", pp, Outcome::Unparsable, 0, ""},
        {"1.0xV", pp, Outcome::Unparsable, 0, ""},
        {"nan", pp, Outcome::Unparsable, 0, ""},
        {"1e999", pp, Outcome::Unparsable, 0, ""},
        // A driver's own pattern: the number is the second of three fields.
        {"C1:PAVA PKPK,1.04E+00V,OK", pp, Outcome::Value, 1.04, ",([^,]+),\\w+$"},
        {"C1:PAVA PKPK,1.04E+00V", pp, Outcome::Unparsable, 0, ",([^,]+),\\w+$"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        const ParsedReply r = ParseUutReply(driverWith(none, QString::fromLatin1(c.number)), c.kind, QByteArray(c.reply));
        EXPECT_EQ(r.outcome, c.outcome) << r.reason.toStdString();
        if (c.outcome == Outcome::Value) {
            EXPECT_NEAR(r.value, c.value, 1e-9 * std::max(1.0, c.value));
        }
        if (c.outcome == Outcome::Unparsable) {
            EXPECT_FALSE(r.reason.isEmpty());
        }
    }
}

TEST(UutDriverFile, ProblemsOnTheirLines)
{
    const QByteArray good = "identify = 'ACME'\n[measure.peak_to_peak]\nquery = ':VPP? CH{ch}'\n";
    struct Case {
        QByteArray text;
        int line;
        const char* message;  // part of it
    };
    const Case cases[] = {
        {"identify = 'ACME'\n", 1, "[measure.KIND]"},
        {"[measure.peak_to_peak]\nquery = ':VPP?'\n", 1, "identify is missing"},
        {"identify = 'AC(ME'\n[measure.mean]\nquery = ':AVG?'\n", 1, "not a regular expression"},
        {"identify = 'ACME'\nsetup = 'X'\nspeed = 3\n[measure.mean]\nquery = ':AVG?'\n", 3, "unknown key \"speed\""},
        {"identify = 'ACME'\n[measure.peak]\nquery = ':VPP?'\n", 2, "\"peak\" is no measurement"},
        {"identify = 'ACME'\n[measure.mean]\nselect = [':MEAS {channel}']\nquery = ':AVG?'\n", 3, "{ch}"},
        {"identify = 'ACME'\n[measure.mean]\nquery = ':AVG'\n", 3, "asks nothing"},
        {"identify = 'ACME'\n[measure.mean]\nselect = ':A'\n", 2, "query is missing"},
        {"identify = 'ACME'\ntimeout_ms = 0\n[measure.mean]\nquery = ':AVG?'\n", 2, "timeout_ms"},
        {"identify = 'ACME'\nsettle_ms = 1.5\n[measure.mean]\nquery = ':AVG?'\n", 2, "settle_ms"},
        {"identify = 'ACME'\nnumber = '[0-9.]+'\n[measure.mean]\nquery = ':AVG?'\n", 2, "group"},
        {"identify = 'ACME'\nno_measurement = [true]\n[measure.mean]\nquery = ':AVG?'\n", 2, "no_measurement"},
        {"identify = 'ACME'\n[measure.mean]\nquery = ':AVG?'\nwait = 3\n", 4, "unknown key \"wait\""},
        {"identify = 'ACME\n", 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const DriverReading r = ReadUutDriver(c.text, QStringLiteral("x"));
        EXPECT_FALSE(r.driver);
        ASSERT_FALSE(r.problems.isEmpty());
        EXPECT_EQ(r.problems.first().line, c.line);
        EXPECT_TRUE(r.problems.first().message.contains(QLatin1String(c.message)))
            << r.problems.first().message.toStdString();
    }
    const DriverReading ok = ReadUutDriver(good + "no_measurement = []\n", QStringLiteral("acme"));
    EXPECT_FALSE(ok.driver) << "a key after a table belongs to that table";
    const DriverReading fine = ReadUutDriver(good, QStringLiteral("acme"));
    ASSERT_TRUE(fine.driver);
    EXPECT_EQ(fine.driver->measurement(MeasureKind::PeakToPeak)->query, ":VPP? CH{ch}");
    EXPECT_FALSE(fine.driver->measurement(MeasureKind::Mean));
    EXPECT_EQ(WithChannel(fine.driver->measurement(MeasureKind::PeakToPeak)->query, 2), ":VPP? CH2");
}

TEST(UutDriverFile, FoundByNameOrPath)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString shipped = QStringLiteral(TARN_DRIVERS_DIR);
    QString problem;
    EXPECT_EQ(FindUutDriverFile(QStringLiteral("rigol-ds1000z"), shipped, dir.path(), &problem),
              shipped + QStringLiteral("/rigol-ds1000z.toml"));
    EXPECT_FALSE(FindUutDriverFile(QStringLiteral("rigol"), shipped, dir.path(), &problem));
    EXPECT_TRUE(problem.contains(QLatin1String("keysight-infiniivision"))) << problem.toStdString();
    EXPECT_FALSE(FindUutDriverFile(QStringLiteral("../etc/passwd"), shipped, dir.path(), &problem));
    QFile own(dir.filePath(QStringLiteral("mine.toml")));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.close();
    EXPECT_EQ(FindUutDriverFile(QStringLiteral("mine.toml"), shipped, dir.path(), &problem), own.fileName());
    EXPECT_EQ(FindUutDriverFile(own.fileName(), shipped, QStringLiteral("/nowhere"), &problem), own.fileName());
}

} // namespace
