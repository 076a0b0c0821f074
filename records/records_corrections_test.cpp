// The records a laboratory can defend: every field of a run kept, a schema
// 2 database brought up to date, corrections worked out and kept beside the
// original, and the certificate issued only on approval, amended after.

#include "app/test_fakes.h"
#include "records/certificate.h"
#include "records/history.h"
#include "records/records_test_support.h"

#include <gtest/gtest.h>

#include <QFile>

namespace tarn {
namespace {

using testing::endedRun;
using testing::sampleRun;
using testing::Scratch;

TEST(RecordsSchema, KeepsEveryFieldAndBringsSchemaTwoUp)
{
    {
        Scratch s;
        QString error;
        auto db = RecordsDatabase::openLocal(s.file(), &error);
        ASSERT_TRUE(db) << error.toStdString();
        testing::expectEveryFieldKept(*db);
    }
    Scratch s;
    QString error;
    const QString runId = newRunId();
    {
        auto old = RecordsDatabase::openLocalAt(s.file(), 2, &error);
        ASSERT_TRUE(old) << error.toStdString();
        testing::fillSchemaTwo(*old, runId);
    }
    auto db = RecordsDatabase::openLocal(s.file(), &error);
    ASSERT_TRUE(db) << error.toStdString();
    testing::expectSchemaTwoKept(*db, runId);
}

// A correction's result worked out again as the runner works it out.
TEST(CorrectedPoint, WorksTheResultOutAgainUnderTheRunsRule)
{
    const RunRecord sample = sampleRun();
    // A bare number is in the unit the runner showed (MHz for 1 MHz).
    const PointResult reading = sample.points[1];  // 1 MHz, limits 999990 to 1000010 Hz
    PointResult deviation = sample.points[0];      // 60 mV, limits 58.8 to 61.2 mV
    deviation.indicated = 0.06;
    deviation.actual = 0.0597;
    PointResult withU = reading;
    withU.uncertainty = 2.0;
    withU.coverageFactor = 2.0;
    withU.tur = 5.0;
    withU.budget = {{QStringLiteral("calibrator"), 2.0, QStringLiteral("normal"), 2.0, 1.0, 1.0, {}}};
    PointResult noDecision = withU;
    noDecision.uncertainty = 12.0;
    noDecision.result = Verdict::NoDecision;
    PointResult bandwidth;
    bandwidth.point = 4;
    bandwidth.function = QStringLiteral("fastrise");
    bandwidth.nominal = 100.0;
    bandwidth.lower = 100.0;
    bandwidth.unit = QStringLiteral("MHz");
    bandwidth.indicated = 90.0;
    bandwidth.result = Verdict::Fail;
    const PointResult check = sample.points[2];

    const struct {
        const char* what;
        const PointResult& point;
        const char* rule;
        const char* guard;
        const char* typed;
        std::optional<double> indicated, actual, error, used;
        std::optional<Verdict> result;  // none: refused
    } cases[] = {
        {"reading, guarded 10 %: inside", reading, "guarded", "10%", "1000008 Hz", 1000008, 1e6, 8, 80, Verdict::Pass},
        {"reading, guarded 10 %: in the guard band", reading, "guarded", "10%", "1.0000095 MHz", 1000009.5, 1e6,
         9.5, 95, Verdict::Fail},
        {"reading, simple: on the limit", reading, "simple", "", "999.99 kHz", 999990, 1e6, -10, 100, Verdict::Pass},
        {"reading, non-binary 10 %", reading, "non-binary", "10%", "1.0000105", 1000010.5, 1e6, 10.5, 105,
         Verdict::ConditionalFail},
        {"deviation: the calibrator's output", deviation, "guarded", "10%", "59.9 mV", 0.06, 0.0599,
         0.0001, 1e-4 / 0.0012 * 100, Verdict::Pass},
        {"guard U: inside the tolerance less U", withU, "guarded", "U", "1000007.5 Hz", 1000007.5, 1e6, 7.5, 75,
         Verdict::Pass},
        {"guard U: between tolerance less U and it", withU, "guarded", "U", "1.0000085 MHz", 1000008.5, 1e6, 8.5, 85,
         Verdict::Fail},
        {"U reaching the tolerance: no decision", noDecision, "guarded", "U", "1000001 Hz", 1000001, 1e6, 1, 10,
         Verdict::NoDecision},
        {"bandwidth from the rise time", bandwidth, "simple", "", "3.2", {}, {}, {}, {}, Verdict::Pass},
        {"check judged again", check, "guarded", "10%", "fail", {}, {}, {}, {}, Verdict::Fail},
        {"unreadable", reading, "guarded", "10%", "1,000,008", {}, {}, {}, {}, std::nullopt},
        {"check takes Pass or Fail only", check, "guarded", "10%", "1", {}, {}, {}, {}, std::nullopt},
    };
    for (const auto& c : cases) {
        RunInfo info = sample.info;
        info.decisionRule = QLatin1String(c.rule);
        info.guard = QLatin1String(c.guard);
        QString error;
        const auto p = correctedPoint(info, c.point, QLatin1String(c.typed), NumberFormat::invariant(), &error);
        ASSERT_EQ(p.has_value(), c.result.has_value()) << c.what << ": " << error.toStdString();
        if (!p) {
            EXPECT_FALSE(error.isEmpty()) << c.what;
            continue;
        }
        EXPECT_EQ(p->result, *c.result) << c.what;
        if (c.point.function == QLatin1String("fastrise")) {
            EXPECT_EQ(p->riseTime, 3.2) << c.what;
            EXPECT_NEAR(*p->indicated, 350.0 / std::sqrt(3.2 * 3.2 - 0.09), 1e-9) << c.what;
            continue;
        }
        if (!c.indicated)
            continue;
        EXPECT_DOUBLE_EQ(*p->indicated, *c.indicated) << c.what;
        EXPECT_DOUBLE_EQ(*p->actual, *c.actual) << c.what;
        EXPECT_NEAR(*p->error, *c.error, 1e-12) << c.what;
        EXPECT_NEAR(*p->toleranceUsed, *c.used, 1e-6) << c.what;
        // What the correction does not touch.
        EXPECT_EQ(p->uncertainty, c.point.uncertainty) << c.what;
        EXPECT_EQ(p->budget, c.point.budget) << c.what;
        EXPECT_EQ(p->lower, c.point.lower) << c.what;
    }
}

// Draws nothing; keeps what it was asked to draw.
class RecordedPrinter final : public CertificatePrinter {
public:
    bool write(const CertificateRuns& runs, const LaboratoryInfo&, const QString& path, QString*) override
    {
        drawn.push_back({path, runs});
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("%PDF") == 4;
    }
    std::vector<std::pair<QString, CertificateRuns>> drawn;
};

QByteArray contents(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

// A slip corrected before issue, the draft, the approval by a second
// person, and a correction after issue that makes an amended certificate.
TEST(RecordsCorrections, KeepTheOriginalAndAmendAnIssuedCertificate)
{
    Scratch s;
    Records records(s.settings());
    QString error;
    const RunRecord taken = endedRun(sampleRun());
    QString runId;
    {
        RecordsSink sink(records, nullptr);
        ASSERT_TRUE(sink.beginRun(taken.info, &error));
        for (const auto& p : taken.points)
            ASSERT_TRUE(sink.recordPoint(taken, p, &error));
        ASSERT_TRUE(sink.endRun(taken, &error));
        runId = sink.runId();
    }
    testing::Journal journal;
    testing::FakeMessages messages(journal);
    testing::FixedNumbers numbers;
    RecordedPrinter printer;
    testing::RecordedViewer viewer;
    Services services;
    services.messages = &messages;
    services.numbers = &numbers;
    services.certificates = &printer;
    services.documents = &viewer;
    History history(records, services);
    ASSERT_TRUE(history.find(QStringLiteral("SN-1042")));
    ASSERT_TRUE(history.open(0));
    const QDateTime now(QDate(2026, 12, 9), QTime(6, 0), Qt::OffsetFromUTC, 3600);

    // Refused without a reason, and nothing stored.
    EXPECT_FALSE(history.correct(2, QStringLiteral("1000004 Hz"), QStringLiteral(" "), QStringLiteral("A. Smith"), now));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("reason")));
    EXPECT_EQ(history.attempts().size(), 3);

    // Before issue: a new attempt of the same run, marked as a correction.
    ASSERT_TRUE(history.correct(2, QStringLiteral("1.000004"), QStringLiteral("misread the last digit"),
                                QStringLiteral("A. Smith"), now));
    ASSERT_TRUE(history.current());
    EXPECT_EQ(history.current()->info.runId, runId);
    const PointResult& fixed = history.current()->points[1];
    EXPECT_EQ(fixed.attempt, 2);
    EXPECT_DOUBLE_EQ(*fixed.indicated, 1000004.0);
    EXPECT_EQ(fixed.result, Verdict::Pass);
    EXPECT_EQ(fixed.correctionReason, QStringLiteral("misread the last digit"));
    EXPECT_EQ(fixed.correctedBy, QStringLiteral("A. Smith"));
    EXPECT_EQ(fixed.takenAt, now);
    EXPECT_EQ(history.current()->info.overall, Overall::Pass);  // the failed point no longer fails
    ASSERT_EQ(history.attempts().size(), 4);
    EXPECT_EQ(history.attempts()[1], taken.points[1]);  // the original as taken
    EXPECT_EQ(contents(records.resultsFilePath(history.current()->info)), ResultsCsv(*history.current()));

    // The Certificate before approval is a draft without a number.
    const QString draft = history.certificate();
    EXPECT_TRUE(draft.endsWith(QStringLiteral("-draft.pdf"))) << draft.toStdString();
    ASSERT_EQ(printer.drawn.size(), 1u);
    EXPECT_TRUE(printer.drawn[0].second.run.info.certificateNumber.isEmpty());

    // Approval: a name is required; the operator approving is asked, and No
    // issues nothing; a second person issues it.
    messages.shown.clear();
    EXPECT_TRUE(history.approve(QString(), now).isEmpty());
    messages.answers = {MessageResult::No};
    EXPECT_TRUE(history.approve(QStringLiteral("j. doe"), now).isEmpty());
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(messages.shown[1].text.contains(QStringLiteral("second person")));
    EXPECT_EQ(messages.shown[1].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(history.current()->info.certificateNumber.isEmpty());
    const QString issued = history.approve(QStringLiteral("A. Smith"), now.addSecs(60));
    EXPECT_TRUE(issued.endsWith(QStringLiteral("TC-2026-0001.pdf"))) << issued.toStdString();
    EXPECT_EQ(history.current()->info.certificateNumber, QStringLiteral("TC/2026/0001"));
    EXPECT_EQ(history.current()->info.approvedBy, QStringLiteral("A. Smith"));
    EXPECT_EQ(history.current()->info.approved, now.addSecs(60));
    EXPECT_FALSE(history.canApprove());
    ASSERT_EQ(viewer.opened.size(), 2u);

    // After issue: an amended record replacing the certificate, the issued
    // run left exactly as it was certified and marked replaced.
    const RunRecord certified = *history.current();
    ASSERT_TRUE(history.correct(1, QStringLiteral("60.3 mV"), QStringLiteral("wrong unit"),
                                QStringLiteral("A. Smith"), now.addSecs(120)));
    const QString amended = history.current()->info.runId;
    EXPECT_NE(amended, runId);
    EXPECT_EQ(history.current()->info.replacesCertificate, QStringLiteral("TC/2026/0001"));
    EXPECT_TRUE(history.current()->info.certificateNumber.isEmpty());
    EXPECT_EQ(history.current()->points[0].actual, 0.0603);  // a deviation point
    EXPECT_EQ(history.current()->points[0].attempt, 2);
    EXPECT_EQ(history.attempts().size(), 5);  // every attempt carried over
    EXPECT_EQ(*records.local(&error)->loadRun(runId, &error), certified);
    ASSERT_EQ(history.runs().size(), 2);
    EXPECT_EQ(History::rowTexts(history.runs()[1])[4],
              QStringLiteral("TC/2026/0001, replaced (amendment not issued)"));
    // The replaced run takes no more corrections.
    ASSERT_TRUE(history.open(1));
    EXPECT_FALSE(history.canCorrect());
    EXPECT_FALSE(history.canApprove());

    ASSERT_TRUE(history.open(0));
    EXPECT_FALSE(history.approve(QStringLiteral("B. Jones"), now.addSecs(180)).isEmpty());
    EXPECT_EQ(history.current()->info.certificateNumber, QStringLiteral("TC/2026/0002"));
    EXPECT_EQ(printer.drawn.back().second.run.info.replacesCertificate, QStringLiteral("TC/2026/0001"));
    EXPECT_EQ(History::rowTexts(history.runs()[0])[4],
              QStringLiteral("TC/2026/0002, amended, replaces TC/2026/0001"));
    EXPECT_EQ(History::rowTexts(history.runs()[1])[4], QStringLiteral("TC/2026/0001, replaced by TC/2026/0002"));
}

} // namespace
} // namespace tarn
