// The records on a real PostgreSQL server: the throw-away one that
// scripts/test-postgres.sh starts and describes in TARN_TEST_PG* variables.

#include "records/records.h"
#include "records/records_test_support.h"
#include "app/test_fakes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>

#include <memory>

namespace tarn {
namespace {

using testing::endedRun;
using testing::sampleRun;

struct TestServer {
    QString host = qEnvironmentVariable("TARN_TEST_PGHOST");
    QString port = qEnvironmentVariable("TARN_TEST_PGPORT");
    QString user = qEnvironmentVariable("TARN_TEST_PGUSER");
    QString ctl = qEnvironmentVariable("TARN_TEST_PGCTL");
    bool present() const { return !host.isEmpty() && !port.isEmpty() && !ctl.isEmpty(); }

    // The tests share one server and one of them stops it; ctest runs them
    // in parallel processes, so each holds the server's lock file while it
    // uses the server.
    std::unique_ptr<QLockFile> lock;
    bool take()
    {
        lock = std::make_unique<QLockFile>(QDir(host).filePath(QStringLiteral("tests.lock")));
        lock->setStaleLockTime(0);
        return lock->tryLock(300000);
    }

    QString address(const QString& database) const
    {
        return QStringLiteral("postgresql://%1@%2:%3/%4")
            .arg(user, QString::fromUtf8(QUrl::toPercentEncoding(host)), port, database);
    }
    // A database of the test's own on the server.
    QString createDatabase() const
    {
        const QString name = QStringLiteral("tarn_") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
            db.setHostName(host);
            db.setPort(port.toInt());
            db.setUserName(user);
            db.setDatabaseName(QStringLiteral("postgres"));
            EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(QStringLiteral("CREATE DATABASE ") + name)) << q.lastError().text().toStdString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("admin"));
        return name;
    }
    bool control(const QString& action) const
    {
        QProcess p;
        QStringList arguments{action};
        if (action == QLatin1String("stop"))
            arguments << QStringLiteral("-m") << QStringLiteral("fast");
        p.start(ctl, arguments);
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
};

#define TAKE_SERVER_OR_SKIP(server)                                                              \
    if (!(server).present())                                                                     \
    GTEST_SKIP() << "No test server: TARN_TEST_PGHOST, TARN_TEST_PGPORT and TARN_TEST_PGCTL "    \
                    "are set by ./test.sh (scripts/test-postgres.sh start)";                   \
    ASSERT_TRUE((server).take()) << "the test server stayed in another test's hands"

// A run against the server that goes away after two points and comes back
// before the next run: every point reaches the server once, the points
// taken while it was away included, and nothing is lost or doubled.
TEST(RecordsServer, RunSurvivesTheServersLossAndReturn)
{
    TestServer server;
    TAKE_SERVER_OR_SKIP(server);
    QTemporaryDir dir;
    RecordsSettings settings;
    settings.folder = dir.path();
    settings.server = server.address(server.createDatabase());
    testing::Journal journal;
    testing::FakeMessages messages(journal);
    Records records(settings);
    RecordsSink sink(records, &messages);
    QString error;

    RunRecord run = sampleRun();
    ASSERT_TRUE(sink.beginRun(run.info, &error)) << error.toStdString();
    const QString runId = sink.runId();
    run.info.runId = runId;
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(sink.recordPoint(run, run.points[i], &error)) << error.toStdString();
    {
        auto remote = records.connectServer(&error);
        ASSERT_TRUE(remote) << error.toStdString();
        EXPECT_EQ(remote->loadRun(runId, &error)->points, run.points.mid(0, 2));
        records.dropServer();
    }

    ASSERT_TRUE(server.control(QStringLiteral("stop")));
    // Point 3, then point 2 taken again, then the end: all kept locally.
    ASSERT_TRUE(sink.recordPoint(run, run.points[2], &error)) << error.toStdString();
    run.points[1].indicated = 1000002.0;
    run.points[1].error = 2.0;
    run.points[1].toleranceUsed = 20.0;
    run.points[1].result = Verdict::Pass;
    run.points[1].attempt = 2;
    ASSERT_TRUE(sink.recordPoint(run, run.points[1], &error));
    const RunRecord ended = endedRun(run);
    ASSERT_TRUE(sink.endRun(ended, &error)) << error.toStdString();
    ASSERT_EQ(messages.shown.size(), 1u);  // told once
    EXPECT_TRUE(messages.shown[0].text.contains(settings.server));
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("kept in records.sqlite")));
    EXPECT_EQ(records.pendingCopies(), 3);  // points 2 and 3, and the end
    EXPECT_EQ(*records.local(&error)->loadRun(runId, &error), ended);

    // A Begin while the server is away is refused, naming it and why.
    RecordsSink refused(records, &messages);
    EXPECT_FALSE(refused.beginRun(sampleRun(QStringLiteral("SN-2")).info, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("The records server ") + settings.server
                               + QStringLiteral(" cannot be reached: ")))
        << error.toStdString();
    EXPECT_GT(error.size(), 100);  // the server's own reason follows

    // Back: the next Begin copies what waited, each point once.
    ASSERT_TRUE(server.control(QStringLiteral("start")));
    RunRecord next = sampleRun();
    next.info.asFoundRunId = runId;
    next.info.start = ended.info.end.addSecs(30);
    ASSERT_TRUE(sink.beginRun(next.info, &error)) << error.toStdString();
    EXPECT_EQ(records.pendingCopies(), 0);
    EXPECT_EQ(records.copyPending(&error), 0);
    auto remote = records.connectServer(&error);
    ASSERT_TRUE(remote) << error.toStdString();
    const auto copied = remote->loadRun(runId, &error);
    ASSERT_TRUE(copied) << error.toStdString();
    EXPECT_EQ(*copied, ended);
    EXPECT_EQ(ResultsCsv(*copied), ResultsCsv(ended));
    EXPECT_EQ(remote->attempts(runId, &error), (QList<int>{1, 2, 1}));
    EXPECT_EQ(remote->attemptsOf(runId, &error).size(), 4);  // both takings of point 2
    const auto history = remote->runsOf(run.info.unitSerial, &error);
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(history[0].asFoundRunId, runId);

    // The as-left run ends; its certificate number is counted on the server
    // and stored in both copies.
    next.info.runId = sink.runId();
    for (const auto& p : next.points)
        ASSERT_TRUE(sink.recordPoint(next, p, &error)) << error.toStdString();
    ASSERT_TRUE(sink.endRun(endedRun(next), &error));
    ASSERT_TRUE(remote->exec(QStringLiteral("INSERT INTO certificate_sequence VALUES ('CAL/2026', 41)"),
                             &error));
    const auto certificate = records.issueCertificate(runId, QStringLiteral("A. Smith"), ended.info.end, &error);
    ASSERT_TRUE(certificate) << error.toStdString();
    ASSERT_TRUE(certificate->asFound);
    EXPECT_EQ(certificate->asFound->info.runId, runId);
    EXPECT_EQ(certificate->run.info.certificateNumber, QStringLiteral("CAL/2026/0042"));
    EXPECT_EQ(records.local(&error)->loadRun(next.info.runId, &error)->info.certificateNumber,
              QStringLiteral("CAL/2026/0042"));
}

// The same schema on the server: a fully filled run read back exactly, and
// a database of schema version 2 brought up to date without loss.
TEST(RecordsServer, KeepsEveryFieldAndBringsSchemaTwoUp)
{
    TestServer server;
    TAKE_SERVER_OR_SKIP(server);
    QString error;
    {
        const auto address = parseServerAddress(server.address(server.createDatabase()), &error);
        ASSERT_TRUE(address) << error.toStdString();
        auto db = RecordsDatabase::openServer(*address, 5, &error);
        ASSERT_TRUE(db) << error.toStdString();
        testing::expectEveryFieldKept(*db);
    }
    const auto address = parseServerAddress(server.address(server.createDatabase()), &error);
    ASSERT_TRUE(address) << error.toStdString();
    const QString runId = newRunId();
    {
        auto old = RecordsDatabase::openServerAt(*address, 5, 2, &error);
        ASSERT_TRUE(old) << error.toStdString();
        testing::fillSchemaTwo(*old, runId);
    }
    auto db = RecordsDatabase::openServer(*address, 5, &error);
    ASSERT_TRUE(db) << error.toStdString();
    testing::expectSchemaTwoKept(*db, runId);
}

} // namespace
} // namespace tarn
