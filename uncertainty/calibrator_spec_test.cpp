#include "uncertainty/calibrator_spec.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <map>

namespace tarn {
namespace {

// Settings in memory, keyed by file, section and key.
class Settings final : public ProfileStore {
public:
    QString readString(const QString& section, const QString& key, const QString& def, int,
                       const QString& path) override
    {
        const auto it = values.find(path + u'|' + section + u'|' + key);
        return it == values.end() ? def : it->second;
    }
    bool writeString(const QString& section, const QString& key, const QString& value,
                     const QString& path) override
    {
        values[path + u'|' + section + u'|' + key] = value;
        return true;
    }
    std::map<QString, QString> values;
};

const char* const kCalibrator =
    "[calibrator]\n"
    "model = \"Tarn\"\n"
    "serial = \"T-1\"\n"
    "certificate = \"C-9\"\n"
    "due = 2027-03-02\n";

TEST(CalibratorSpec, EachProblemIsNamedOnItsLine)
{
    const struct {
        const char* text;
        int line;
        const char* message;
    } cases[] = {
        {"[calibrator\n", 1, "syntax error"},
        {"[[spec]]\nfunction = \"fastrise\"\nrise_time = \"0.3 ns\"\ncoverage = \"rectangular\"\n", 1,
         "no [calibrator] table"},
        {"[calibrator]\nmodel = \"Tarn\"\nserial = \"T-1\"\ncertificate = \"C\"\ndue = 2027-03-02\n", 1,
         "no [[spec]] entries"},
        {"[calibrator]\nmodel = \"Tarn\"\nserial = \"T-1\"\ndue = \"2027-03-02\"\n", 1, "missing `certificate`"},
        {"[calibrator]\nmodel = \"Tarn\"\nserial = \"T-1\"\ncertificate = \"C\"\ndue = \"2027-03-02\"\n", 5,
         "`due` must be a date"},
        {"[calibrator]\nmodel = \"Tarn\"\nserial = \"T-1\"\ncertificate = \"C\"\ncalibrated = 2027-04-01\n"
         "due = 2027-03-02\n", 6, "`due` is before `calibrated`"},
        {"[calibrator]\nmodle = \"Tarn\"\n", 2, "unknown key `modle`"},
    };
    for (const auto& c : cases) {
        const CalibratorSpecReading r = ReadCalibratorSpec(QByteArray(c.text));
        EXPECT_FALSE(r.spec) << c.text;
        QStringList seen;
        for (const CalibratorProblem& p : r.problems)
            seen << QStringLiteral("%1: %2").arg(p.line).arg(p.message);
        EXPECT_TRUE(std::any_of(r.problems.begin(), r.problems.end(), [&](const CalibratorProblem& p) {
            return p.line == c.line && p.message.contains(QLatin1String(c.message));
        })) << c.text << " -> " << seen.join(u'|').toStdString();
    }

    // The entries' problems, after a sound [calibrator] table of five lines.
    const struct {
        const char* entry;  // starts on line 7 with [[spec]]
        int line;
        const char* message;
    } entries[] = {
        {"function = \"voltage\"\ncoverage = 2\n", 8, "unknown function `voltage`"},
        {"function = \"amplitude\"\npercent = 0.25\nfloor = \"20 uA\"\ncoverage = 2\n", 10,
         "`floor` must be a value in V"},
        {"function = \"amplitude\"\ncoverage = 2\n", 7, "needs `percent`, `floor` or both"},
        {"function = \"amplitude\"\nload = \"75\"\npercent = 1\ncoverage = 2\n", 9, "`load` must be"},
        {"function = \"amplitude\"\nwaveform = \"sine\"\npercent = 1\ncoverage = 2\n", 9, "`waveform` must be"},
        {"function = \"amplitude\"\npercent = -1\ncoverage = 2\n", 9, "`percent` must be a number not below 0"},
        {"function = \"amplitude\"\npercent = 1\ncoverage = \"normal\"\n", 10, "`coverage` must be"},
        {"function = \"amplitude\"\npercent = 1\ncoverage = 0\n", 10, "`coverage` must be"},
        // Figures no calibrator has, which would carry U to infinity.
        {"function = \"amplitude\"\npercent = 1\ncoverage = 1e-300\n", 10, "`coverage` must be a coverage factor from 1 to 10"},
        {"function = \"amplitude\"\npercent = 1e308\ncoverage = 2\n", 9, "`percent` must be below 100"},
        {"function = \"amplitude\"\nfloor = \"1e308 V\"\ncoverage = 2\n", 9, "`floor` must be below 1000 V"},
        {"function = \"frequency\"\nppm = 1e6\ncoverage = 2\n", 9, "`ppm` must be below 1000000"},
        {"function = \"fastrise\"\nrise_time = \"1 ms\"\ncoverage = 2\n", 9, "`rise_time` must be below 1 us"},
        {"function = \"amplitude\"\npercent = 1\n", 7, "missing `coverage`"},
        {"function = \"frequency\"\ncoverage = 2\n", 7, "missing `ppm`"},
        {"function = \"period\"\nppm = 5\npercent = 1\ncoverage = 2\n", 10, "`percent` is for amplitude entries only"},
        {"function = \"fastrise\"\nrise_time = \"0 ns\"\ncoverage = 2\n", 9, "`rise_time` must be above 0"},
        {"function = \"fastrise\"\nrise_time = \"0.3 ns\"\nppm = 1\ncoverage = 2\n", 10,
         "`ppm` is for frequency and period entries only"},
        {"function = \"fastrise\"\nrise_time = \"0.3 ns\"\ncoverage = 2\nedge = 1\n", 11, "unknown key `edge`"},
    };
    for (const auto& c : entries) {
        const QByteArray text = QByteArray(kCalibrator) + "\n[[spec]]\n" + c.entry;
        const CalibratorSpecReading r = ReadCalibratorSpec(text);
        EXPECT_FALSE(r.spec) << c.entry;
        ASSERT_EQ(r.problems.size(), 1) << c.entry << " -> " << r.problems.value(1).message.toStdString();
        EXPECT_EQ(r.problems.first().line, c.line) << c.entry;
        EXPECT_TRUE(r.problems.first().message.contains(QLatin1String(c.message)))
            << c.entry << " -> " << r.problems.first().message.toStdString();
    }
}

TEST(CalibratorSpec, TheShippedFileReadsAndTheFirstFittingEntryIsUsed)
{
    QFile shipped(QStringLiteral(TARN_SHIPPED_CALIBRATOR));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    const CalibratorSpecReading r = ReadCalibratorSpec(shipped.readAll());
    ASSERT_TRUE(r.spec) << r.problems.value(0).message.toStdString();
    const CalibratorSpec& s = *r.spec;
    EXPECT_EQ(s.model + u' ' + s.serial, QStringLiteral("Tarn T-00417"));
    EXPECT_EQ(s.certificate, QStringLiteral("UKAS 12345/2026"));
    EXPECT_EQ(s.calibrated, QDate(2026, 3, 2));
    EXPECT_EQ(s.due, QDate(2027, 3, 2));
    EXPECT_EQ(s.sha256.size(), 64);

    using F = CalibratorFunction;
    const struct {
        F function;
        bool ohm50;
        bool dc;
        int entry;  // index, -1 none
    } cases[] = {
        {F::Amplitude, false, true, 0}, {F::Amplitude, false, false, 0}, {F::Amplitude, true, true, 1},
        {F::Frequency, false, true, 2}, {F::Period, false, true, 2},     {F::FastRise, false, true, 3},
    };
    for (const auto& c : cases) {
        const CalibratorSpecEntry* e = s.entryFor(c.function, c.ohm50, c.dc);
        EXPECT_EQ(e ? static_cast<int>(e - s.entries.constData()) : -1, c.entry)
            << calibratorFunctionName(c.function).toStdString() << c.ohm50 << c.dc;
    }
    EXPECT_DOUBLE_EQ(s.entries[0].floor, 20e-6);
    EXPECT_EQ(s.entries[0].coverage, 2.0);
    EXPECT_DOUBLE_EQ(s.entries[3].riseTime, 0.3);
    EXPECT_FALSE(s.entries[3].coverage.has_value());

    // Without a fitting entry there is none; a square-wave-only entry does not serve DC.
    const CalibratorSpecReading square = ReadCalibratorSpec(
        QByteArray(kCalibrator) + "[[spec]]\nfunction = \"amplitude\"\nwaveform = \"square\"\npercent = 1\ncoverage = 2\n");
    ASSERT_TRUE(square.spec);
    EXPECT_EQ(square.spec->entryFor(F::Amplitude, false, true), nullptr);
    EXPECT_NE(square.spec->entryFor(F::Amplitude, true, false), nullptr);
    EXPECT_EQ(square.spec->entryFor(F::Frequency, false, true), nullptr);
}

TEST(CalibratorSpec, TheFileToUseAndItsChecker)
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("TarnApp.ini"));
    const QString program = dir.filePath(QStringLiteral("bin"));
    Settings profile;
    // Neither named nor shipped: none.
    EXPECT_EQ(calibratorSpecPath(profile, settings, program), QString());
    QDir().mkpath(program);
    QFile::copy(QStringLiteral(TARN_SHIPPED_CALIBRATOR), QDir(program).filePath(QStringLiteral("calibrator.toml")));
    EXPECT_EQ(calibratorSpecPath(profile, settings, program), QDir(program).filePath(QStringLiteral("calibrator.toml")));
    // A relative name lies beside the settings file, whether it exists or not.
    profile.writeString(QStringLiteral("Procedures"), QStringLiteral("Calibrator"), QStringLiteral("lab/cal.toml"),
                        settings);
    EXPECT_EQ(calibratorSpecPath(profile, settings, program), dir.filePath(QStringLiteral("lab/cal.toml")));
    profile.writeString(QStringLiteral("Procedures"), QStringLiteral("Calibrator"), QStringLiteral("/srv/cal.toml"),
                        settings);
    EXPECT_EQ(calibratorSpecPath(profile, settings, program), QStringLiteral("/srv/cal.toml"));

    QString text;
    QTextStream out(&text);
    EXPECT_EQ(RunCalibratorCheck(QStringLiteral(TARN_SHIPPED_CALIBRATOR), out), 0);
    EXPECT_TRUE(text.endsWith(QStringLiteral(": Tarn T-00417, 4 entries, due 2027-03-02\n"))) << text.toStdString();
    const QString bad = dir.filePath(QStringLiteral("bad.toml"));
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(kCalibrator) + "[[spec]]\nfunction = \"period\"\ncoverage = 2\n");
    file.close();
    text.clear();
    EXPECT_EQ(RunCalibratorCheck(bad, out), 1);
    EXPECT_EQ(text, bad + QStringLiteral(":6: missing `ppm`\n"));
    text.clear();
    EXPECT_EQ(RunCalibratorCheck(dir.filePath(QStringLiteral("none.toml")), out), 1);
    EXPECT_TRUE(text.contains(QStringLiteral("none.toml: cannot be read: "))) << text.toStdString();
}

} // namespace
} // namespace tarn
