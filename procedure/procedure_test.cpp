#include "procedure/check.h"
#include "procedure/procedure.h"
#include "procedure/runner.h"

#include "app/test_fakes.h"
#include "records/records.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace tarn {
namespace {

TEST(Tolerance, EachFormGivesItsSideInThePointsUnit)
{
    using F = ToleranceSide::Form;
    const struct {
        const char* text;
        const char* unit;
        int sign;
        std::optional<double> absolute;  // for nominal 0.06 V, 0.01 V/div
    } cases[] = {
        {"2%", "V", 0, 0.0012},       {"10 ppm", "V", 0, 0.0000006}, {"0.5 mV", "V", 0, 0.0005},
        {"0.1 div", "V", 0, 0.001},   {"-1%", "V", -1, 0.0006},      {"+2 %", "V", +1, 0.0012},
        {"2 ns", "s", 0, 2e-9},       {"50 Hz", "Hz", 0, 50},        {"1.5 kHz", "Hz", 0, 1500},
        {"-2%", "V", 0, std::nullopt}, {"+1%", "V", -1, std::nullopt}, {"2 mA", "V", 0, std::nullopt},
        {"0.1 div", "Hz", 0, std::nullopt}, {"two %", "V", 0, std::nullopt}, {"5 xV", "V", 0, std::nullopt},
    };
    for (const auto& c : cases) {
        QString error;
        const auto side = parseToleranceSide(QString::fromUtf8(c.text), QString::fromLatin1(c.unit),
                                             QString::fromLatin1(c.unit) == u"V", c.sign, &error);
        ASSERT_EQ(side.has_value(), c.absolute.has_value()) << c.text << " " << error.toStdString();
        if (side)
            EXPECT_NEAR(side->absolute(0.06, 0.01), *c.absolute, 1e-15) << c.text;
        else
            EXPECT_FALSE(error.isEmpty()) << c.text;
    }
    EXPECT_EQ(parseToleranceSide(QStringLiteral("3 ppm"), QStringLiteral("Hz"), false, 0, nullptr)->form, F::Ppm);
}

TEST(DecisionRule, VerdictsAroundTheLimitsAndGuardBands)
{
    // Tolerance -1 .. +2 on a nominal of 100; guard 10 %.
    const PointLimits limits{1.0, 2.0};
    const struct {
        double error;
        DecisionRule rule;
        Verdict verdict;
    } cases[] = {
        {2.0, DecisionRule::Simple, Verdict::Pass},        {-1.0, DecisionRule::Simple, Verdict::Pass},
        {2.0 + 5e-8, DecisionRule::Simple, Verdict::Pass},  {2.001, DecisionRule::Simple, Verdict::Fail},
        {-1.01, DecisionRule::Simple, Verdict::Fail},      {1.8, DecisionRule::Guarded, Verdict::Pass},
        {1.81, DecisionRule::Guarded, Verdict::Fail},      {-0.95, DecisionRule::Guarded, Verdict::Fail},
        {1.7, DecisionRule::NonBinary, Verdict::Pass},     {1.9, DecisionRule::NonBinary, Verdict::ConditionalPass},
        {2.1, DecisionRule::NonBinary, Verdict::ConditionalFail}, {-1.05, DecisionRule::NonBinary, Verdict::ConditionalFail},
        {2.3, DecisionRule::NonBinary, Verdict::Fail},     {-1.2, DecisionRule::NonBinary, Verdict::Fail},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decide(c.error, limits, 100.0, c.rule, 0.1), c.verdict)
            << c.error << " " << decisionRuleName(c.rule).toStdString();
    EXPECT_NEAR(*toleranceUsed(-0.5, limits), 50.0, 1e-12);
    EXPECT_NEAR(*toleranceUsed(0.5, limits), 25.0, 1e-12);
}

TEST(DecisionRule, TheExpandedUncertaintyAsGuardBandAtItsEdges)
{
    // Tolerance +-1 on a nominal of 100, U = 0.2: acceptance limits +-0.8.
    const PointLimits limits{1.0, 1.0};
    const struct {
        double error;
        DecisionRule rule;
        double u;
        Verdict verdict;
    } cases[] = {
        {0.8, DecisionRule::Guarded, 0.2, Verdict::Pass},          // on the acceptance limit
        {-0.8, DecisionRule::Guarded, 0.2, Verdict::Pass},
        {0.81, DecisionRule::Guarded, 0.2, Verdict::Fail},
        {1.0, DecisionRule::Guarded, 0.2, Verdict::Fail},          // on the tolerance limit
        {0.8, DecisionRule::NonBinary, 0.2, Verdict::Pass},
        {1.0, DecisionRule::NonBinary, 0.2, Verdict::ConditionalPass},
        {-1.2, DecisionRule::NonBinary, 0.2, Verdict::ConditionalFail},
        {1.21, DecisionRule::NonBinary, 0.2, Verdict::Fail},
        {1.0, DecisionRule::Simple, 0.2, Verdict::Pass},
        {1.01, DecisionRule::Simple, 0.2, Verdict::Fail},
        {0.0, DecisionRule::Guarded, 0.99, Verdict::Pass},         // a sliver of acceptance zone is left
        {0.0, DecisionRule::Guarded, 1.0, Verdict::NoDecision},    // U reaches the tolerance
        {0.0, DecisionRule::Simple, 1.5, Verdict::NoDecision},
        {5.0, DecisionRule::NonBinary, 1.0, Verdict::NoDecision},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decide(c.error, limits, 100.0, c.rule, 0.0, c.u, true), c.verdict)
            << c.error << " U " << c.u << " " << decisionRuleName(c.rule).toStdString();
    // U reaching one side of unequal limits is enough.
    EXPECT_EQ(decide(0.0, PointLimits{0.5, 2.0}, 100.0, DecisionRule::Guarded, 0.0, 0.5, true), Verdict::NoDecision);
    // A share guard band stays the share when U is only known.
    EXPECT_EQ(decide(0.85, limits, 100.0, DecisionRule::Guarded, 0.1, 0.2, false), Verdict::Pass);

    // At least 100 MHz with U = 1.8 MHz: acceptance limit 101.8 MHz.
    const struct {
        double value;
        DecisionRule rule;
        Verdict verdict;
    } bandwidths[] = {
        {101.8, DecisionRule::Guarded, Verdict::Pass},    {101.7, DecisionRule::Guarded, Verdict::Fail},
        {100.0, DecisionRule::NonBinary, Verdict::ConditionalPass}, {98.2, DecisionRule::NonBinary, Verdict::ConditionalFail},
        {98.1, DecisionRule::NonBinary, Verdict::Fail},   {100.0, DecisionRule::Simple, Verdict::Pass},
        {99.9, DecisionRule::Simple, Verdict::Fail},
    };
    for (const auto& c : bandwidths)
        EXPECT_EQ(decideAtLeast(c.value, 100.0, c.rule, 1.8, true), c.verdict)
            << c.value << " " << decisionRuleName(c.rule).toStdString();
    EXPECT_EQ(decideAtLeast(100.5, 100.0, DecisionRule::Guarded, 1.8, false), Verdict::Pass);
}

TEST(Readings, TypedTextInTheShownUnitOrItsOwn)
{
    NumberFormat comma = NumberFormat::invariant();
    comma.decimalSeparator = QStringLiteral(",");
    const ShownUnit mv = shownUnitOf(0.06, QStringLiteral("V"));
    EXPECT_EQ(mv.text, QStringLiteral("mV"));
    EXPECT_EQ(shownUnitOf(999980, QStringLiteral("Hz")).text, QStringLiteral("kHz"));
    EXPECT_EQ(shownValue(0.06, QStringLiteral("V"), comma), QStringLiteral("60 mV"));
    EXPECT_EQ(shownValue(0.0603, QStringLiteral("V"), comma), QStringLiteral("60,3 mV"));
    const ShownUnit mhz = shownUnitOf(1e6, QStringLiteral("Hz"));
    const ShownUnit khz = shownUnitOf(1e3, QStringLiteral("Hz"));
    const ShownUnit us = shownUnitOf(2e-6, QStringLiteral("s"));
    const struct {
        const char* text;
        const ShownUnit& shown;
        std::optional<double> value;
        const char* why = "";  // when refused for the case of its prefix
    } cases[] = {
        {"60,3", mv, 0.0603}, {"60,3 mV", mv, 0.0603}, {"0,0603 V", mv, 0.0603}, {"60300 \u00b5V", mv, 0.0603},
        {"60.3", mv, std::nullopt}, {"60,3 mA", mv, std::nullopt}, {"", mv, std::nullopt}, {"mV", mv, std::nullopt},
        {"abc", mv, std::nullopt},
        // Lower case and caps; u for micro.
        {"60,3 mv", mv, 0.0603}, {"0,0603 v", mv, 0.0603}, {"60300 uV", mv, 0.0603}, {"60300 \u03bcV", mv, 0.0603},
        {"999,98 khz", khz, 999980}, {"1 KHZ", khz, 1000}, {"2 us", us, 2e-6}, {"2000 NS", us, 2e-6},
        {"1,000012 MHz", mhz, 1000012}, {"1,000012 mhz", mhz, 1000012}, {"1,000012 MHZ", mhz, 1000012},
        {"500 mHz", mhz, 0.5}, {"3 ms", us, 0.003},
        // Where case would change the prefix, nothing is guessed.
        {"60,3 MV", mv, std::nullopt, "\"MV\" would be megavolts; write mV for millivolts."},
        {"60,3 Mv", mv, std::nullopt, "\"Mv\" would be megavolts; write mV for millivolts."},
        {"3 MS", us, std::nullopt, "\"MS\" would be megaseconds; write ms for milliseconds."},
        {"1 mhz", khz, std::nullopt, "\"mhz\" could be millihertz or megahertz; write mHz or MHz."},
        {"5 PS", us, std::nullopt, "\"PS\" would be petaseconds; write ps for picoseconds."},
    };
    for (const auto& c : cases) {
        const QString unit = c.shown.text.endsWith(u"Hz") ? QStringLiteral("Hz")
                                                          : c.shown.text.right(1);
        QString why = QStringLiteral("stale");
        const auto v = parseReading(QString::fromUtf8(c.text), c.shown, unit, comma, &why);
        ASSERT_EQ(v.has_value(), c.value.has_value()) << c.text;
        if (v) {
            EXPECT_NEAR(*v, *c.value, std::fabs(*c.value) * 1e-12) << c.text;
        }
        EXPECT_EQ(why.toStdString(), c.why) << c.text;
    }
    // The resolution of a typed reading is the place of its last digit, in
    // the unit it was read in.
    const struct {
        const char* text;
        const ShownUnit& shown;
        double resolution;
    } resolutions[] = {
        {"60,3", mv, 0.0001}, {"0,0603 V", mv, 0.0001}, {"60300 µV", mv, 1e-6}, {"60,30 mv", mv, 0.00001},
        {"1,000012 mhz", mhz, 1}, {"999,98 khz", khz, 10}, {"2000 NS", us, 1e-9},
    };
    for (const auto& c : resolutions) {
        const QString unit = c.shown.text.endsWith(u"Hz") ? QStringLiteral("Hz") : c.shown.text.right(1);
        const auto r = typedResolution(QString::fromUtf8(c.text), c.shown, unit, comma);
        ASSERT_TRUE(r.has_value()) << c.text;
        EXPECT_NEAR(*r, c.resolution, c.resolution * 1e-9) << c.text;
    }
}

TEST(Readings, AReadingFarOutsideItsToleranceIsQuestioned)
{
    NumberFormat comma = NumberFormat::invariant();
    comma.decimalSeparator = QStringLiteral(",");
    const struct {
        double typed;
        double nominal;
        PointLimits limits;
        const char* unit;
        bool bare;
        const char* previousUnit;
        const char* question;  // empty: plausible
    } cases[] = {
        // 2 % of 4 V: ten times is 0.8 V either way.
        {4075, 4, {0.08, 0.08}, "V", true, "mV",
         "Record 4075 V for a nominal of 4 V?\r\rThe unit beside the box is now V; it was mV for the previous point."},
        {4075, 4, {0.08, 0.08}, "V", false, "mV", "Record 4075 V for a nominal of 4 V?"},
        {4075, 4, {0.08, 0.08}, "V", true, "V", "Record 4075 V for a nominal of 4 V?"},
        {4.8, 4, {0.08, 0.08}, "V", true, "mV", ""},
        {4.81, 4, {0.08, 0.08}, "V", true, "", "Record 4,81 V for a nominal of 4 V?"},
        {0.004, 4, {0.08, 0.08}, "V", true, "V", "Record 0,004 V for a nominal of 4 V?"},
        // Unequal sides: the error's own side counts.
        {0.0634, 0.06, {0.0006, 0.0003}, "mV", true, "mV", "Record 63,4 mV for a nominal of 60 mV?"},
        {0.0545, 0.06, {0.0006, 0.0003}, "mV", true, "mV", ""},
        // A side without tolerance is measured by the other.
        {999900, 1e6, {0.0, 20}, "kHz", true, "kHz", ""},
        {999000, 1e6, {0.0, 20}, "kHz", true, "MHz", "Record 999 kHz for a nominal of 1000 kHz?\r\rThe unit beside the "
                                                      "box is now kHz; it was MHz for the previous point."},
        {-2e-6, 1e-6, {1e-8, 1e-8}, "\u00b5s", false, "", "Record -2 \u00b5s for a nominal of 1 \u00b5s?"},
    };
    for (const auto& c : cases) {
        const auto question = implausibleReading(c.typed, c.nominal, c.limits, QString::fromUtf8(c.unit), c.bare,
                                                 QString::fromUtf8(c.previousUnit), comma);
        EXPECT_EQ(question.value_or(QString()).toStdString(), c.question) << c.typed;
    }
}

// --- Checker ------------------------------------------------------------------

// A file of that name in the folder, holding the text.
QString written(const QTemporaryDir& dir, const char* name, const QByteArray& text)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
}

QString checked(const QByteArray& text, int* status = nullptr)
{
    QTemporaryDir dir;
    const QString path = written(dir, "p.toml", text);
    QString out;
    QTextStream stream(&out);
    const int code = RunProcedureCheck(path, stream);
    if (status)
        *status = code;
    return out.replace(path, QStringLiteral("P"));
}

const QByteArray kHead = "title = \"T\"\n";

TEST(Checker, NamesEachFaultOnItsLine)
{
    const struct {
        QByteArray body;  // after the title line
        const char* line;
    } cases[] = {
        {"[[test]\n", "P:2: syntax error"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=6\nmethod=\"reading\"\n"
         "tolerence=\"2%\"\npoints=[0.01]\n",
         "P:8: unknown key `tolerence`; did you mean `tolerance`?"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=6\nmethod=\"reading\"\n"
         "points=[0.01]\n",
         "P:2: missing `tolerance`"},
        {"[[test]]\nname=\"a\"\nfunction=\"volts\"\nmethod=\"check\"\npoints=[1]\n", "P:4: unknown function `volts`"},
        {"[[test]]\nname=\"a\"\nfunction=\"volts\\n\\u0007\"\nmethod=\"check\"\npoints=[1]\n",
         "P:4: unknown function `volts\\n\\u0007`"},
        {"[[test]]\nname=\"a\"\nfunction=\"frequency\"\nmethod=\"deviation\"\ntolerance=\"1%\"\npoints=[1000]\n",
         "P:5: method `deviation` does not fit function `frequency`; frequency takes `reading` or `check`\n"},
        {"[[test]]\nname=\"a\"\nfunction=\"fastrise\"\nmethod=\"reading\"\ntolerance=\"1%\"\n",
         "P:5: method `reading` does not fit function `fastrise`; fastrise takes `check` or `risetime`\n"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"sine\"\ndivisions=6\nmethod=\"check\"\npoints=[0.01]\n",
         "P:5: unknown waveform `sine`"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=6\nmethod=\"check\"\npoints=[0.003]\n",
         "P:8: 0.003 V/div is not a range"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=3\nmethod=\"check\"\npoints=[0.01]\n",
         "P:6: divisions must be 1, 2, 4, 6 or 8"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=8\nmethod=\"check\"\npoints=[50]\n",
         "P:8: 50 V/div offers 1, 2 or 4 divisions only, not 8"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=2\nohm50=true\nmethod=\"check\"\n"
         "points=[0.5]\n",
         "P:9: 50 Ohm is only available up to 200 mV/div"},
        {"[[test]]\nname=\"a\"\nfunction=\"frequency\"\nmethod=\"check\"\npoints=[3000]\n",
         "P:6: frequency 3000 Hz is not exactly achievable; the panel's question would offer 3003.003003 Hz "
         "(a period of 333 \u00b5s). The closest frequency the panel sets exactly is 3125 Hz\n"},
        {"[[test]]\nname=\"a\"\nfunction=\"frequency\"\nmethod=\"check\"\npoints=[3]\n",
         "P:6: frequency 3 Hz is not exactly achievable; the panel's question would offer 3.000003 Hz "
         "(a period of 333333 \u00b5s). The closest frequency the panel sets exactly is 3.2 Hz\n"},
        {"[[test]]\nname=\"a\"\nfunction=\"frequency\"\nmethod=\"check\"\npoints=[3e8]\n",
         "P:6: frequency 300000000 Hz is outside the panel's limits, 0.1 Hz to 100000000 Hz"},
        {"[[test]]\nname=\"a\"\nfunction=\"period\"\nmethod=\"check\"\npoints=[\n 1e-6,\n 2.5e-6,\n]\n",
         "P:8: period 0.0000025 s is not exactly achievable; the closest achievable period is 0.000002 s"},
        {"[[test]]\nname=\"a\"\nfunction=\"period\"\nmethod=\"check\"\npoints=[0.0000155]\n",
         "P:6: period 0.0000155 s is not exactly achievable; the closest achievable period is 0.000016 s"},
        {"[[test]]\nname=\"a\"\nfunction=\"period\"\nmethod=\"reading\"\ntolerance=\"2 mV\"\npoints=[0.001]\n",
         "P:6: unreadable tolerance"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=6\nmethod=\"reading\"\n"
         "tolerance=\"1 MV\"\npoints=[0.01]\n",
         "P:8: tolerance `1 MV` is as large as point 1's nominal value or larger; check its prefix or unit\n"},
        {"[[test]]\nname=\"a\"\nfunction=\"frequency\"\nmethod=\"reading\"\ntolerance=[\"-1%\", \"+100%\"]\n"
         "points=[1000]\n",
         "P:6: the tolerance is as large as point 1's nominal value or larger"},
        {"decision=\"guarded\"\n[[test]]\nname=\"a\"\nfunction=\"period\"\nmethod=\"check\"\npoints=[0.001]\n",
         "P:2: the decision rule `guarded` needs a `guard`"},
        {"[[test]]\nname=\"a\"\nfunction=\"period\"\nmethod=\"check\"\npoints=[]\n", "P:6: `points` must be a list"},
        {"[[test]]\nname=\"a\"\nfunction=\"fastrise\"\nmethod=\"risetime\"\n", "P:2: missing `min_bandwidth`"},
        {"min_tur=0\n[[test]]\nname=\"a\"\nfunction=\"period\"\nmethod=\"check\"\npoints=[0.001]\n",
         "P:2: `min_tur` must be a number above 0"},
        {"guard=\"u\"\n[[test]]\nname=\"a\"\nfunction=\"period\"\nmethod=\"check\"\npoints=[0.001]\n",
         "P:2: unreadable guard `u`"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=6\nmethod=\"reading\"\n"
         "tolerance=\"2%\"\njudgement=0.05\npoints=[0.01]\n",
         "P:9: `judgement` is for deviation tests only"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=6\nmethod=\"deviation\"\n"
         "tolerance=\"2%\"\njudgement=\"0 div\"\npoints=[0.01]\n",
         "P:9: `judgement` must be a number of divisions above 0"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=6\nmethod=\"deviation\"\n"
         "tolerance=\"2%\"\nresolution=\"0.1 mV\"\npoints=[0.01]\n",
         "P:9: `resolution` is for reading and risetime tests only"},
        {"[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=6\nmethod=\"reading\"\n"
         "tolerance=\"2%\"\nresolution=\"0.1 mA\"\npoints=[0.01]\n",
         "P:9: `resolution` must be a value in V with an SI prefix"},
        {"[[test]]\nname=\"a\"\nfunction=\"frequency\"\nmethod=\"reading\"\ntolerance=\"2%\"\nreadings=1\n"
         "points=[1000]\n",
         "P:7: `readings` must be a whole number from 2 to 20"},
        {"[[test]]\nname=\"a\"\nfunction=\"frequency\"\nmethod=\"reading\"\ntolerance=\"2%\"\nreadings=21\n"
         "points=[1000]\n",
         "P:7: `readings` must be a whole number from 2 to 20"},
        {"[[test]]\nname=\"a\"\nfunction=\"fastrise\"\nmethod=\"risetime\"\nmin_bandwidth=100\nreadings=3\n",
         "P:7: `readings` is for reading tests only"},
    };
    for (const auto& c : cases) {
        int status = 0;
        const QString out = checked(kHead + c.body, &status);
        EXPECT_EQ(status, 1) << c.line;
        EXPECT_TRUE(out.startsWith(QString::fromUtf8(c.line))) << c.line << "\n got: " << out.toStdString();
        EXPECT_EQ(out.count(u'\n'), 1) << out.toStdString();  // that fault only
    }
    int status = 0;
    EXPECT_TRUE(checked("[[test]]\nname=\"a\"\nfunction=\"period\"\nmethod=\"check\"\npoints=[1]\n", &status)
                    .startsWith(QStringLiteral("P:1: missing `title`")));
    // Bad divisions do not hide a bad range on the same test.
    EXPECT_EQ(checked(kHead + "[[test]]\nname=\"a\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=5\n"
                              "method=\"check\"\npoints=[0.003]\n")
                  .count(u'\n'),
              2);
}

TEST(Checker, UncertaintyBeforeTheRun)
{
    QTemporaryDir dir;
    const QByteArray procedure = kHead + "decision = \"guarded\"\nguard = \"U\"\n"
                                 "[[test]]\nname=\"Gain\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=6\n"
                                 "method=\"deviation\"\ntolerance=\"1 mV\"\npoints=[0.01, 0.002]\n"
                                 "[[test]]\nname=\"Into 50\"\nfunction=\"amplitude\"\nwaveform=\"dc\"\ndivisions=6\n"
                                 "ohm50=true\nmethod=\"reading\"\ntolerance=\"5%\"\npoints=[0.01]\n";
    const QString path = written(dir, "p.toml", procedure);
    const auto run = [&](const ProcedureCheckOptions& options, int* status) {
        QString out;
        QTextStream stream(&out);
        *status = RunProcedureCheck(path, stream, options);
        return out.replace(path, QStringLiteral("P"));
    };
    int status = 0;
    // Without a calibrator file guard = "U" is refused.
    EXPECT_EQ(run({}, &status), QStringLiteral("P:3: guard \"U\" needs a calibrator file, and there is none\n"));
    EXPECT_EQ(status, 1);

    // The shipped one: 10 mV/div x 6 div has U = 0.00037 V, TUR 2 mV / 0.74 mV = 2.7;
    // 2 mV/div x 6 div (TUR 12.0) and 50 Ohm at 5 % (8.8) are well above 4.
    ProcedureCheckOptions options;
    options.calibratorFile = QStringLiteral(TARN_SHIPPED_CALIBRATOR);
    QString out = run(options, &status);
    EXPECT_EQ(status, 0) << out.toStdString();
    EXPECT_EQ(out.toStdString(), "P:11: warning: point 1 (10 mV/div x 6 div): TUR 2.7 is below 4\n"
                                 "P: 2 tests, 3 points\n");
    options.budget = true;
    out = run(options, &status);
    EXPECT_TRUE(out.contains(QStringLiteral("P: point 1 (10 mV/div x 6 div), Gain\n"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("u_c 184.1 \u00b5V, nu_eff inf, k 2.00, U 370 \u00b5V, TUR 2.7\n")))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("P: point 3 (10 mV/div x 6 div, 50 Ohm), Into 50\n")));

    // A calibrator file without an entry for 50 Ohm names the point.
    options.budget = false;
    options.calibratorFile = written(dir, "c.toml",
                                     "[calibrator]\nmodel=\"M\"\nserial=\"S\"\ncertificate=\"C\"\ndue=2030-01-01\n"
                                     "[[spec]]\nfunction=\"amplitude\"\nload=\"1M\"\npercent=0.25\ncoverage=2\n");
    out = run(options, &status);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(out.contains(QStringLiteral("P:20: point 3 (10 mV/div x 6 div, 50 Ohm): the calibrator file "
                                            "has no [[spec]] entry for amplitude into 50 Ohm, dc (")))
        << out.toStdString();
}

// --- A headless run ----------------------------------------------------------

const QByteArray kShortRun = R"(title = "Short"
revision = "2"
decision = "non-binary"
guard = "10%"

[[test]]
name = "Gain"
instruction = "CH1"
function = "amplitude"
waveform = "dc"
divisions = 6
method = "deviation"
tolerance = "2%"
points = [0.001, 0.01]

[[test]]
name = "Counter"
function = "frequency"
method = "reading"
tolerance = ["-10 ppm", "+20 ppm"]
points = [1e6, 1000]

[[test]]
name = "Markers"
function = "period"
method = "check"
points = [1e-8]

[[test]]
name = "Bandwidth"
function = "fastrise"
method = "risetime"
min_bandwidth = 100
)";

TEST(Runner, ShortProcedureWithScriptedAnswers)
{
    testing::Harness h;
    h.start();
    QTemporaryDir dir;
    h.profile.writeString(QStringLiteral("Procedures"), QStringLiteral("Records"), dir.path(),
                          testing::kSettingsPath);
    const QString file = written(dir, "short.toml", kShortRun);
    QString problems;
    auto runner = ProcedureRunner::open(h.station().bench(), file, &problems);
    ASSERT_TRUE(runner) << problems.toStdString();
    CsvResultsSink csv(h.station().records().settings().folder);
    runner->addSink(&csv);

    // Serial and operator are required.
    EXPECT_FALSE(runner->Begin({}));
    EXPECT_EQ(h.messages.shown.back().text,
              QStringLiteral("Please enter the unit's serial number and the operator before the run begins."));
    h.journal.clear();
    ASSERT_TRUE(runner->Begin(unitDetails("SN/42", "Ann", "Scope")));
    EXPECT_EQ(runner->stage(), ProcedureRunner::Stage::Connect);
    EXPECT_EQ(h.pieces(), QStringList{QStringLiteral("OFF")});

    // Point 1: 1 mV/div, deviation on at zero; a 0.01 % step cannot be
    // carried by six decimals, so the error stays zero.
    h.journal.clear();
    runner->Continue();
    EXPECT_EQ(h.pieces().mid(1), (QStringList{QStringLiteral("A 0.001"), QStringLiteral("G 6"),
                                              QStringLiteral("WAVE DC"), QStringLiteral("50R OFF")}));
    EXPECT_EQ(runner->stimulusText(), QStringLiteral("1 mV/div \u00d7 6 div, DC: 6 mV"));
    runner->Step(QStringLiteral("cmdDevUp"));
    EXPECT_EQ(h.pieces().last(), QStringLiteral("A 0.001"));
    h.journal.clear();
    EXPECT_TRUE(runner->Record({}));

    // Point 2: back to nominal, the new range, then two steps up: 10.002
    // mV/div sent.
    EXPECT_EQ(h.pieces(), (QStringList{QStringLiteral("A 0.001"), QStringLiteral("A 0.01")}));
    h.journal.clear();
    runner->Step(QStringLiteral("cmdDevUp"));
    runner->Step(QStringLiteral("cmdDevUp"));
    EXPECT_EQ(h.pieces(), (QStringList{QStringLiteral("A 0.010001"), QStringLiteral("A 0.010002")}));
    EXPECT_EQ(runner->liveErrorText(), QStringLiteral("Unit's error: -0.0120 mV (-0.020 %)"));
    h.journal.clear();
    EXPECT_TRUE(runner->Record({}));

    // Point 3: a new test, so the output goes off until Continue.
    EXPECT_EQ(runner->stage(), ProcedureRunner::Stage::Connect);
    EXPECT_EQ(h.pieces(), QStringList{QStringLiteral("OFF")});
    h.journal.clear();
    runner->Continue();
    // The function as selected by hand (its typed range first), then the
    // preset range and its button.
    EXPECT_EQ(h.pieces().join(u'/'), QStringLiteral("F 10000.0/D 50.0/F 10000.0/D 50.0/F 200000/F 1000000"));
    EXPECT_EQ(runner->readingUnit(), QStringLiteral("MHz"));
    EXPECT_FALSE(runner->Record(QStringLiteral("1.0 Hz Hz")));
    // Changed by hand in the main window: set again, nothing recorded.
    h.window->form().operatorClick(QStringLiteral("optFunction"), kAmplitude);
    EXPECT_FALSE(runner->Record(QStringLiteral("1000.015 kHz")));
    EXPECT_TRUE(h.messages.shown.back().text.startsWith(QStringLiteral("The setting was changed")));
    EXPECT_TRUE(h.c(QStringLiteral("optFunction"), kFrequency).value);
    EXPECT_TRUE(runner->Record(QStringLiteral("1000.015 kHz")));  // +15 ppm
    // Point 4, then Back to it and again.
    EXPECT_EQ(runner->pointNumber(), 4);
    EXPECT_EQ(runner->readingUnit(), QStringLiteral("kHz"));
    EXPECT_FALSE(runner->Record(QStringLiteral("1 mhz")));
    EXPECT_EQ(h.messages.shown.back().text, QStringLiteral("\"1 mhz\" cannot be read as a reading.\r\r\"mhz\" could "
                                                           "be millihertz or megahertz; write mHz or MHz."));
    EXPECT_TRUE(runner->Record(QStringLiteral("0.9999")));  // -100 ppm
    EXPECT_EQ(runner->record().points.back().result, Verdict::Fail);
    EXPECT_EQ(runner->stage(), ProcedureRunner::Stage::Connect);
    runner->Back();
    EXPECT_EQ(runner->pointNumber(), 4);
    runner->Continue();
    EXPECT_TRUE(runner->Record(QStringLiteral("1000.01 Hz")));
    runner->Continue();
    runner->Judge(true);
    runner->Continue();
    EXPECT_FALSE(runner->Record(QStringLiteral("-3.5")));
    EXPECT_TRUE(h.messages.shown.back().text.startsWith(QStringLiteral("\"-3.5\" cannot be read")));
    EXPECT_FALSE(runner->Record(QStringLiteral("0.2")));  // too short: refused
    EXPECT_EQ(h.messages.shown.back().text, QStringLiteral("Rise Time is too short - cannot calculate Bandwidth"));
    EXPECT_TRUE(runner->Record(QStringLiteral("3.5")));
    EXPECT_EQ(runner->stage(), ProcedureRunner::Stage::Finished);
    EXPECT_EQ(h.pieces().last(), QStringLiteral("OFF"));

    QFile csvFile(csv.path());
    ASSERT_TRUE(csvFile.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csvFile.readAll()).split(QStringLiteral("\r\n"));
    EXPECT_TRUE(QFileInfo(csv.path()).fileName().startsWith(QStringLiteral("SN42_")));
    EXPECT_EQ(lines.mid(1, 6).join(u'\n').toStdString(), (QStringList{
        QStringLiteral("1,Gain,amplitude,\"1 mV/div x 6 div, DC\",0.006,0.006,0.006,0,0.00588,0.00612,V,0.0,Pass,,,"),
        QStringLiteral("2,Gain,amplitude,\"10 mV/div x 6 div, DC\",0.06,0.06,0.060012,-0.000012,0.0588,0.0612,V,1.0,Pass,,,"),
        QStringLiteral("3,Counter,frequency,1 MHz,1000000,1000015,1000000,15,999990,1000020,Hz,75.0,Pass,,,"),
        QStringLiteral("4,Counter,frequency,1 kHz,1000,1000.01,1000,0.01,999.99,1000.02,Hz,50.0,Pass,,,"),
        QStringLiteral("5,Markers,period,10 ns,,,,,,,,,Pass,,,"),
        QStringLiteral("6,Bandwidth,fastrise,fast rise,100,100.369383568,,,100,,MHz,,Pass,,,"),
    }).join(u'\n').toStdString());
    EXPECT_TRUE(lines.contains(QStringLiteral("# overall,PASS")));
    EXPECT_TRUE(lines.contains(QStringLiteral("# calibrator,demonstration edition")));
    EXPECT_TRUE(lines.contains(QStringLiteral("# decision,non-binary (guard 10%)")));
    EXPECT_EQ(runner->rememberedOperator(), QStringLiteral("Ann"));
}

TEST(Runner, EachPointsUncertaintyFromTheCalibratorSpecification)
{
    testing::Harness h;
    h.start();
    QTemporaryDir dir;
    h.profile.writeString(QStringLiteral("Procedures"), QStringLiteral("Records"), dir.path(), testing::kSettingsPath);
    const QString file = written(dir, "u.toml",
                                 "title = \"U\"\ndecision = \"guarded\"\nguard = \"U\"\n"
                                 "[[test]]\nname = \"Gain\"\nfunction = \"amplitude\"\nwaveform = \"dc\"\ndivisions = 6\n"
                                 "method = \"deviation\"\ntolerance = \"1 mV\"\npoints = [0.01]\n"
                                 "[[test]]\nname = \"Readout\"\nfunction = \"amplitude\"\nwaveform = \"dc\"\n"
                                 "divisions = 6\nmethod = \"reading\"\nreadings = 5\ntolerance = \"2%\"\npoints = [0.01]\n"
                                 "[[test]]\nname = \"Bandwidth\"\nfunction = \"fastrise\"\nmethod = \"risetime\"\n"
                                 "min_bandwidth = 100\n"
                                 "[[test]]\nname = \"Counter\"\nfunction = \"frequency\"\nmethod = \"reading\"\n"
                                 "tolerance = \"100 ppm\"\npoints = [1000000]\n");
    const QByteArray calibrator = "[calibrator]\nmodel = \"Tarn\"\nserial = \"T-9\"\ncertificate = \"C-1\"\n"
                                  "due = 2020-01-01\n"
                                  "[[spec]]\nfunction = \"amplitude\"\npercent = 0.25\nfloor = \"20 uV\"\ncoverage = 2\n";
    const QString spec = written(dir, "cal.toml", calibrator + "[[spec]]\nfunction = \"fastrise\"\n"
                                                               "rise_time = \"0.3 ns\"\ncoverage = \"rectangular\"\n"
                                                               "[[spec]]\nfunction = \"frequency\"\nppm = 50\n"
                                                               "coverage = \"rectangular\"\n");
    QString problems;
    auto runner = ProcedureRunner::open(h.station().bench(), file, &problems);
    ASSERT_TRUE(runner) << problems.toStdString();
    CsvResultsSink csv(dir.path());
    runner->addSink(&csv);
    const auto useSpecification = [&](const QString& path) {
        h.profile.writeString(QStringLiteral("Procedures"), QStringLiteral("Calibrator"), path, testing::kSettingsPath);
    };

    // guard = "U" without any calibrator file, a file that is not there, and
    // one without an entry for a point: each refuses the run.
    EXPECT_FALSE(runner->Begin(unitDetails("S1", "Ann")));
    EXPECT_TRUE(h.messages.shown.back().text.startsWith(QStringLiteral("The procedure's guard \"U\" needs")));
    useSpecification(dir.filePath(QStringLiteral("none.toml")));
    EXPECT_FALSE(runner->Begin(unitDetails("S1", "Ann")));
    EXPECT_TRUE(h.messages.shown.back().text.contains(QStringLiteral("none.toml: cannot be read")));
    useSpecification(written(dir, "partial.toml", calibrator));
    EXPECT_FALSE(runner->Begin(unitDetails("S1", "Ann")));
    EXPECT_TRUE(h.messages.shown.back().text.contains(
        QStringLiteral("point 3 (at least 100 MHz): the calibrator file has no [[spec]] entry for fastrise")))
        << h.messages.shown.back().text.toStdString();

    // Past its due date: No does not begin, Yes begins and says so.
    useSpecification(spec);
    h.messages.answers = {MessageResult::No};
    EXPECT_FALSE(runner->Begin(unitDetails("S1", "Ann")));
    EXPECT_TRUE(h.messages.shown.back().text.startsWith(
        QStringLiteral("The calibrator Tarn T-9 was due for calibration on 2020-01-01 (certificate C-1).")));
    EXPECT_EQ(runner->stage(), ProcedureRunner::Stage::Details);
    h.messages.answers = {MessageResult::Yes};
    ASSERT_TRUE(runner->Begin(unitDetails("S1", "Ann")));
    const RunInfo& info = runner->record().info;
    EXPECT_TRUE(info.calibratorPastDue);
    EXPECT_EQ(info.calibratorModel + u' ' + info.calibratorSerial, QStringLiteral("Tarn T-9"));
    EXPECT_EQ(info.calibratorDue, QDate(2020, 1, 1));
    EXPECT_EQ(info.calibratorSpecSha256.size(), 64);

    // 10 mV/div x 6 div by deviation: U = 0.00037 V, TUR 2.7, marked before it is taken.
    runner->Continue();
    EXPECT_EQ(runner->uncertaintyText(),
              QStringLiteral("U = 0.37 mV (k = 2.00), TUR 2.7: below the procedure's minimum TUR of 4"));
    EXPECT_TRUE(runner->belowMinTur());
    EXPECT_TRUE(runner->Record({}));
    const PointResult deviation = runner->record().points.at(0);
    EXPECT_EQ(deviation.uncertainty, 0.00037);
    EXPECT_EQ(deviation.coverageFactor, 2.0);
    EXPECT_EQ(deviation.tur, 2.7);
    EXPECT_EQ(deviation.budget.size(), 3);
    EXPECT_EQ(deviation.result, Verdict::Pass);

    // Five readings in turn, typed to 0.1 mV: their mean, s / sqrt 5 at
    // nu = 4, nu_eff 27, k = 2.10, U = 0.00024 V, TUR 5.0.
    runner->Continue();
    EXPECT_FALSE(runner->belowMinTur());
    const char* const typed[] = {"60.1", "60.3", "60.2", "60.4", "60.0"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(runner->readingCountText(), QStringLiteral("reading %1 of 5").arg(i + 1));
        EXPECT_EQ(runner->record().points.size(), 1);
        EXPECT_TRUE(runner->Record(QString::fromLatin1(typed[i])));
    }
    const PointResult repeated = runner->record().points.at(1);
    const double expected[] = {0.0601, 0.0603, 0.0602, 0.0604, 0.0600};
    ASSERT_EQ(repeated.readings.size(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(repeated.readings[i], expected[i], 1e-15);
    EXPECT_NEAR(*repeated.indicated, 0.0602, 1e-15);
    EXPECT_EQ(repeated.uncertainty, 0.00024);
    EXPECT_EQ(repeated.coverageFactor, 2.10);
    EXPECT_EQ(repeated.tur, 5.0);
    EXPECT_EQ(repeated.budget.last().degreesOfFreedom, 4.0);

    // 3.5 ns typed: 100.37 MHz with U = 1.8 MHz is below the acceptance
    // limit of 101.8 MHz, so guarded fails it; no TUR.
    runner->Continue();
    EXPECT_EQ(runner->uncertaintyText(), QStringLiteral("U = 0.43 MHz (k = 2.00)"));
    EXPECT_TRUE(runner->Record(QStringLiteral("3.5")));
    const PointResult bandwidth = runner->record().points.at(2);
    EXPECT_EQ(bandwidth.uncertainty, 1.8);
    EXPECT_FALSE(bandwidth.tur.has_value());
    EXPECT_EQ(bandwidth.result, Verdict::Fail);

    // 50 ppm of 1 MHz: U = 58 Hz, in the MHz of the limits without an exponent.
    runner->Continue();
    EXPECT_EQ(runner->uncertaintyText(),
              QStringLiteral("U = 0.000058 MHz (k = 2.00), TUR 1.7: below the procedure's minimum TUR of 4"));
    EXPECT_TRUE(runner->Record(QStringLiteral("1.00003")));
    EXPECT_EQ(runner->record().info.overall, Overall::Fail);

    QFile csvFile(csv.path());
    ASSERT_TRUE(csvFile.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csvFile.readAll()).split(QStringLiteral("\r\n"));
    EXPECT_TRUE(lines.value(1).endsWith(QStringLiteral(",Pass,0.00037,2.00,2.7"))) << lines.value(1).toStdString();
    EXPECT_TRUE(lines.value(2).endsWith(QStringLiteral(",Pass,0.00024,2.10,5.0"))) << lines.value(2).toStdString();
    EXPECT_TRUE(lines.value(3).endsWith(QStringLiteral(",Fail,1.8,2.00,"))) << lines.value(3).toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("# calibrator,Tarn T-9")));
    EXPECT_TRUE(lines.contains(QStringLiteral("# calibrator_due,2020-01-01")));
}

TEST(Runner, HighVoltageOnlyWhenConfirmedAndAbortSwitchesOff)
{
    testing::Harness h;
    h.start();
    QTemporaryDir dir;
    const QString file = written(dir, "hv.toml",
                                 "title = \"HV\"\n[[test]]\nname = \"High\"\nfunction = \"amplitude\"\n"
                                 "waveform = \"dc\"\ndivisions = 4\nmethod = \"reading\"\ntolerance = \"1%\"\n"
                                 "points = [10, 20, 1]\n");
    QString problems;
    auto runner = ProcedureRunner::open(h.station().bench(), file, &problems);
    ASSERT_TRUE(runner) << problems.toStdString();
    ASSERT_TRUE(runner->Begin(unitDetails("S", "O")));
    h.journal.clear();
    // 40 V: declined, so nothing but OFF goes out and the point is skipped;
    // 80 V: confirmed and applied.
    h.messages.answers = {MessageResult::No, MessageResult::Yes};
    runner->Continue();
    EXPECT_EQ(h.messages.shown.at(0).text, QStringLiteral("The next point puts out 40 V.\r\rApply it?"));
    EXPECT_EQ(runner->record().points.at(0).result, Verdict::Skipped);
    EXPECT_EQ(runner->pointNumber(), 2);
    QStringList pieces = h.pieces();
    EXPECT_EQ(pieces.filter(QStringLiteral("A ")), QStringList{QStringLiteral("A 20.0")});
    EXPECT_LT(pieces.lastIndexOf(QStringLiteral("OFF")), pieces.indexOf(QStringLiteral("A 20.0")));
    h.journal.clear();
    runner->Abort();
    EXPECT_EQ(h.pieces(), QStringList{QStringLiteral("OFF")});
    EXPECT_EQ(runner->stage(), ProcedureRunner::Stage::Finished);
    EXPECT_EQ(runner->record().info.overall, Overall::Incomplete);
}

// A typed reading far outside its tolerance is asked about before it is
// kept; No keeps nothing, Yes keeps it as typed.
TEST(Runner, ASlippedReadingIsAskedAboutBeforeItIsKept)
{
    testing::Harness h;
    h.start();
    QTemporaryDir dir;
    const QString file = written(dir, "slip.toml",
                                 "title = \"Slip\"\n[[test]]\nname = \"Gain\"\nfunction = \"amplitude\"\n"
                                 "waveform = \"dc\"\ndivisions = 4\nmethod = \"reading\"\ntolerance = \"2%\"\n"
                                 "points = [0.005, 1]\n");
    QString problems;
    auto runner = ProcedureRunner::open(h.station().bench(), file, &problems);
    ASSERT_TRUE(runner) << problems.toStdString();
    ASSERT_TRUE(runner->Begin(unitDetails("S-1", "Ann")));
    runner->Continue();
    ASSERT_EQ(runner->readingUnit(), QStringLiteral("mV"));
    h.messages.shown.clear();
    ASSERT_TRUE(runner->Record(QStringLiteral("20.1")));  // within its tolerance: not asked
    EXPECT_TRUE(h.messages.shown.empty());

    // 4 V nominal: "4075" meant as millivolts is 4075 V.
    ASSERT_EQ(runner->readingUnit(), QStringLiteral("V"));
    h.messages.answers = {MessageResult::No};
    EXPECT_FALSE(runner->Record(QStringLiteral("4075")));
    ASSERT_EQ(h.messages.shown.size(), 1u);
    EXPECT_EQ(h.messages.shown[0].text,
              QStringLiteral("Record 4075 V for a nominal of 4 V?\r\rThe unit beside the box is now V; "
                             "it was mV for the previous point."));
    EXPECT_EQ(h.messages.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(runner->record().points.size(), 1);

    h.messages.answers = {MessageResult::Yes};
    ASSERT_TRUE(runner->Record(QStringLiteral("4075 mV")));  // with its unit: no word of the unit
    EXPECT_EQ(h.messages.shown.size(), 1u);  // 4.075 V is within 2 %
    ASSERT_EQ(runner->record().points.size(), 2);
    EXPECT_EQ(runner->record().points[1].indicated, 4.075);
}

} // namespace
} // namespace tarn
