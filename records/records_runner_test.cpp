// The runner with the records behind it: a failed run adjusted and run
// again, stored as found and as left, and a Begin refused when the
// laboratory's server cannot be reached.

#include "app/test_fakes.h"
#include "procedure/runner.h"
#include "records/records.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace tarn {
namespace {

const QByteArray kCounter = R"(title = "Counter check"
revision = "2"

[[test]]
name = "Counter"
function = "frequency"
method = "reading"
tolerance = "10 ppm"
points = [1000, 1e6]
)";

struct RunnerWithRecords {
    explicit RunnerWithRecords(const QString& server = {})
    {
        h.profile.writeString(QStringLiteral("Procedures"), QStringLiteral("Records"), dir.path(),
                              testing::kSettingsPath);
        if (!server.isEmpty())
            h.profile.writeString(QStringLiteral("Procedures"), QStringLiteral("Database"), server,
                                  testing::kSettingsPath);
        h.start();
        const QString file = dir.filePath(QStringLiteral("counter.toml"));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(kCounter);
        out.close();
        QString problems;
        runner = ProcedureRunner::open(h.station().bench(), file, &problems);
        EXPECT_TRUE(runner) << problems.toStdString();
        sink = std::make_unique<RecordsSink>(h.station().records(), &h.messages);
        runner->addSink(sink.get());
    }
    // Both points with the typed readings.
    void take(const char* first, const char* second)
    {
        runner->Continue();
        EXPECT_TRUE(runner->Record(QLatin1String(first)));
        EXPECT_TRUE(runner->Record(QLatin1String(second)));
    }

    QTemporaryDir dir;
    testing::Harness h;
    std::unique_ptr<ProcedureRunner> runner;
    std::unique_ptr<RecordsSink> sink;
};

TEST(RunnerRecords, AdjustedAndRunAgainIsStoredAsLeft)
{
    RunnerWithRecords r;
    ASSERT_TRUE(r.runner);
    ASSERT_TRUE(r.runner->Begin(unitDetails("U-77", "Ann", "FC-1", "22")));
    r.take("1.0001 kHz", "1 MHz");  // +100 ppm: fails
    ASSERT_EQ(r.runner->stage(), ProcedureRunner::Stage::Finished);
    ASSERT_TRUE(r.runner->canRunAgain());
    const RunRecord found = r.runner->record();

    ASSERT_TRUE(r.runner->RunAgain(QStringLiteral("gain trimmed")));
    EXPECT_EQ(r.runner->stage(), ProcedureRunner::Stage::Connect);
    EXPECT_EQ(r.runner->record().info.asFoundRunId, found.info.runId);
    EXPECT_EQ(r.runner->record().info.unitSerial, QStringLiteral("U-77"));
    r.take("1000.002 Hz", "1 MHz");
    EXPECT_EQ(r.runner->record().info.overall, Overall::Pass);
    EXPECT_FALSE(r.runner->canRunAgain());
    const RunRecord left = r.runner->record();

    QString error;
    RecordsDatabase* db = r.h.station().records().local(&error);
    ASSERT_TRUE(db) << error.toStdString();
    EXPECT_EQ(*db->loadRun(found.info.runId, &error), found);
    const auto storedLeft = db->loadRun(left.info.runId, &error);
    ASSERT_TRUE(storedLeft);
    EXPECT_EQ(*storedLeft, left);
    EXPECT_EQ(db->asLeftRunOf(found.info.runId, &error), left.info.runId);
    EXPECT_EQ(db->runsOf(QStringLiteral("U-77"), &error).size(), 2);
    // Each run's results file is the stored run's, the first one kept even
    // when both began in the same second.
    Records& records = r.h.station().records();
    EXPECT_NE(records.resultsFilePath(found.info), records.resultsFilePath(left.info));
    for (const RunRecord* run : {&found, &left}) {
        QFile csv(records.resultsFilePath(run->info));
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << csv.fileName().toStdString();
        EXPECT_EQ(csv.readAll(), ResultsCsv(*db->loadRun(run->info.runId, &error)));
    }
    EXPECT_TRUE(r.h.messages.shown.empty());
}

TEST(RunnerRecords, BeginIsRefusedWhenTheServerCannotBeReached)
{
    const QString server = QStringLiteral("postgresql://tarn@%2Fnonexistent-tarn-socket:5432/cal");
    RunnerWithRecords r(server);
    ASSERT_TRUE(r.runner);
    r.h.journal.clear();
    EXPECT_FALSE(r.runner->Begin(unitDetails("U-78", "Ann")));
    ASSERT_EQ(r.h.messages.shown.size(), 1u);
    const QString text = r.h.messages.shown[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("The records server ") + server + QStringLiteral(" cannot be reached: ")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("nonexistent-tarn-socket"))) << text.toStdString();  // libpq's reason
    EXPECT_TRUE(text.endsWith(QStringLiteral("The run has not begun.")));
    EXPECT_EQ(r.runner->stage(), ProcedureRunner::Stage::Details);
    EXPECT_TRUE(r.h.pieces().isEmpty());
    QString error;
    EXPECT_TRUE(r.h.station().records().local(&error)->runsOf(QStringLiteral("U-78"), &error).isEmpty());
}

} // namespace
} // namespace tarn
