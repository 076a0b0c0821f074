#include "procedure/results.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(ResultsNumber, WritesPlainDecimalsToTwelveSignificantDigits)
{
    const struct {
        std::optional<double> value;
        const char* text;
    } cases[] = {
        {std::nullopt, ""},
        {0.0, "0"},
        {-0.0, "0"},
        {0.06, "0.06"},
        {1e8, "100000000"},
        {1e-8, "0.00000001"},
        {-0.0012, "-0.0012"},
        {166666.666666667, "166666.666667"},
        {1.0 / 3.0, "0.333333333333"},
        {2.5e-10, "0.00000000025"},
        {123456789012345.0, "123456789012000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resultsNumber(c.value), QString::fromLatin1(c.text))
            << (c.value ? *c.value : -1.0);
}

TEST(ResultsCsv, QuotesFieldsAndEndsWithTheRunsParticulars)
{
    RunRecord run;
    run.info.procedureTitle = QStringLiteral("Scope, \"CH1\"");
    run.info.unitSerial = QStringLiteral("SN-1");
    run.info.decisionRule = QStringLiteral("guarded");
    run.info.guard = QStringLiteral("10%");
    run.info.start = QDateTime(QDate(2026, 12, 9), QTime(3, 4, 5), Qt::OffsetFromUTC, 3600);
    run.info.overall = Overall::Fail;
    PointResult p;
    p.point = 1;
    p.test = QStringLiteral("DC gain");
    p.function = QStringLiteral("amplitude");
    p.setting = QStringLiteral("10 mV/div x 6 div, DC");
    p.nominal = 0.06;
    p.indicated = 0.06;
    p.actual = 0.0612;
    p.error = -0.0012;
    p.lower = 0.0588;
    p.upper = 0.0612;
    p.unit = QStringLiteral("V");
    p.toleranceUsed = 100.0;
    p.result = Verdict::ConditionalFail;
    p.uncertainty = 0.00037;
    p.coverageFactor = 2.0;
    p.tur = 3.2;
    PointResult bandwidth;
    bandwidth.point = 2;
    bandwidth.test = QStringLiteral("Bandwidth");
    bandwidth.function = QStringLiteral("fastrise");
    bandwidth.indicated = 100.369383568;
    bandwidth.lower = 100;
    bandwidth.unit = QStringLiteral("MHz");
    bandwidth.uncertainty = 1.8;
    bandwidth.coverageFactor = 2.1;
    bandwidth.result = Verdict::Pass;
    run.points = {p, bandwidth};
    // A corrected point and a remark are noted after the particulars.
    run.points[0].remark = QStringLiteral("trace noisy");
    run.points[1].correctionReason = QStringLiteral("misread");
    run.points[1].correctedBy = QStringLiteral("A. Smith");
    run.points[1].takenAt = run.info.start.addSecs(60);
    run.info.adjustment = QStringLiteral("CH1 gain");

    const QString csv = QString::fromUtf8(ResultsCsv(run));
    const QStringList lines = csv.split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.value(1), QStringLiteral(
        "1,DC gain,amplitude,\"10 mV/div x 6 div, DC\",0.06,0.06,0.0612,-0.0012,0.0588,0.0612,V,100.0,Conditional fail,"
        "0.00037,2.00,3.2"));
    EXPECT_EQ(lines.value(2), QStringLiteral("2,Bandwidth,fastrise,,,100.369383568,,,100,,MHz,,Pass,1.8,2.10,"));
    EXPECT_EQ(lines.value(3), QString());
    EXPECT_EQ(lines.value(4), QStringLiteral("# procedure,\"Scope, \"\"CH1\"\"\""));
    EXPECT_TRUE(lines.contains(QStringLiteral("# start,2026-12-09T03:04:05+01:00")));
    EXPECT_TRUE(lines.contains(QStringLiteral("# decision,guarded (guard 10%)")));
    EXPECT_TRUE(lines.contains(QStringLiteral("# overall,FAIL")));
    EXPECT_TRUE(csv.endsWith(QStringLiteral("# overall,FAIL\r\n# adjustment,CH1 gain\r\n# remark,point 1: trace noisy\r\n"
                                            "# correction,\"point 2: misread (by A. Smith, 2026-12-09T03:05:05+01:00)\"\r\n")))
        << csv.toStdString();
    // Without a calibrator file the calibrator is the connection's.
    run.info.calibrator = QStringLiteral("demonstration edition");
    EXPECT_TRUE(QString::fromUtf8(ResultsCsv(run)).contains(
        QStringLiteral("\r\n# calibrator,demonstration edition\r\n# decision,")));
    run.info.calibratorModel = QStringLiteral("Tarn");
    run.info.calibratorSerial = QStringLiteral("T-00417");
    run.info.calibratorCertificate = QStringLiteral("UKAS 12345/2026");
    run.info.calibratorDue = QDate(2027, 3, 2);
    run.info.calibratorSpecSha256 = QStringLiteral("ab12");
    EXPECT_TRUE(QString::fromUtf8(ResultsCsv(run)).contains(QStringLiteral(
        "\r\n# calibrator,Tarn T-00417\r\n# calibrator_device,demonstration edition\r\n"
        "# calibrator_certificate,UKAS 12345/2026\r\n# calibrator_due,2027-03-02\r\n"
        "# calibrator_specification,ab12\r\n# decision,")));
    EXPECT_EQ(resultsFileName(QStringLiteral("SN 12/ä-3_b"), run.info.start),
              QStringLiteral("SN12-3_b_20261209-030405.csv"));
}

TEST(Overall, FailOutweighsIncompleteAndAConditionalPassPasses)
{
    auto point = [](Verdict v) { PointResult p; p.result = v; return p; };
    EXPECT_EQ(overallOf({point(Verdict::Pass), point(Verdict::ConditionalPass)}, 2, false), Overall::Pass);
    EXPECT_EQ(overallOf({point(Verdict::Pass), point(Verdict::Skipped)}, 2, false), Overall::Incomplete);
    EXPECT_EQ(overallOf({point(Verdict::Pass)}, 2, false), Overall::Incomplete);
    EXPECT_EQ(overallOf({point(Verdict::Pass), point(Verdict::Pass)}, 2, true), Overall::Incomplete);
    EXPECT_EQ(overallOf({point(Verdict::Skipped), point(Verdict::ConditionalFail)}, 2, false), Overall::Fail);
}

} // namespace
} // namespace tarn
