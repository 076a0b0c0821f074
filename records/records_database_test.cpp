#include "records/records.h"
#include "records/records_test_support.h"
#include "app/test_fakes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace tarn {
namespace {

using testing::endedRun;
using testing::sampleRun;
using testing::Scratch;

QByteArray contents(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

TEST(ServerAddress, ReadsUserHostPortAndDatabase)
{
    const struct {
        const char* text;
        ServerAddress address;  // or, when invalid, a part of the message in `address.text`
        bool valid = true;
    } cases[] = {
        {"postgresql://tarn@records.lab.example/calibration",
         {"tarn", "records.lab.example", 5432, "calibration", {}}},
        {"postgresql://tarn@db:6543/cal", {"tarn", "db", 6543, "cal", {}}},
        {"postgres://%2Ftmp%2Fpg-x:5433/cal", {"", "/tmp/pg-x", 5433, "cal", {}}},
        {"postgresql:///cal", {"", "localhost", 5432, "cal", {}}},
        {"postgresql://tarn:secret@db/cal", {{}, {}, 0, {}, "~/.pgpass"}, false},
        {"postgresql://db:99999/cal", {{}, {}, 0, {}, "port"}, false},
        {"mysql://db/cal", {{}, {}, 0, {}, "postgresql://user@host:port/database"}, false},
        {"postgresql://db", {{}, {}, 0, {}, "postgresql://user@host:port/database"}, false},
    };
    for (const auto& c : cases) {
        QString error;
        const auto parsed = parseServerAddress(QLatin1String(c.text), &error);
        ASSERT_EQ(parsed.has_value(), c.valid) << c.text;
        if (!c.valid) {
            EXPECT_TRUE(error.contains(c.address.text)) << error.toStdString();
            continue;
        }
        ServerAddress expected = c.address;
        expected.text = QLatin1String(c.text);
        EXPECT_EQ(*parsed, expected) << c.text;
    }
}

TEST(RecordsSettings, FolderServerAndLaboratoryFromTheSettingsFile)
{
    const QString ini = QStringLiteral("/opt/tarn/TarnApp.ini");
    const struct {
        const char* records;  // key Records, or none
        const char* prefix;   // key CertificatePrefix, or none
        const char* folder;
        const char* usedPrefix;
    } cases[] = {
        {nullptr, nullptr, "/data/records", "CAL"},
        {"", "", "/data/records", "CAL"},
        {"/srv/cal", "TC", "/srv/cal", "TC"},
        {"lab/records", nullptr, "/opt/tarn/lab/records", "CAL"},
    };
    for (const auto& c : cases) {
        testing::MemoryProfile profile;
        if (c.records)
            profile.writeString(QStringLiteral("Procedures"), QStringLiteral("Records"), QLatin1String(c.records), ini);
        if (c.prefix)
            profile.writeString(QStringLiteral("Laboratory"), QStringLiteral("CertificatePrefix"),
                                QLatin1String(c.prefix), ini);
        profile.writeString(QStringLiteral("Laboratory"), QStringLiteral("Name"), QStringLiteral("Lab"), ini);
        const RecordsSettings s = readRecordsSettings(profile, ini, QStringLiteral("/data/records"));
        EXPECT_EQ(s.folder, QLatin1String(c.folder)) << (c.records ? c.records : "(none)");
        EXPECT_EQ(s.laboratory.certificatePrefix, QLatin1String(c.usedPrefix));
        EXPECT_EQ(s.laboratory.name, QStringLiteral("Lab"));
        EXPECT_TRUE(s.server.isEmpty());
    }
}

// Each schema state a database can be found in, opened by this program.
TEST(RecordsSchema, CreatesMigratesOrRefusesByVersion)
{
    // A fresh file gets the whole schema.
    {
        Scratch s;
        QString error;
        auto db = RecordsDatabase::openLocal(s.file(), &error);
        ASSERT_TRUE(db) << error.toStdString();
        EXPECT_EQ(db->schemaVersion(&error), RecordsDatabase::kSchemaVersion);
    }
    // A version 1 database holding a run is brought up to date in place.
    {
        Scratch s;
        QString error;
        RunRecord run = endedRun(sampleRun());
        run.info.runId = newRunId();
        {
            auto old = RecordsDatabase::openLocalAt(s.file(), 1, &error);
            ASSERT_TRUE(old) << error.toStdString();
            ASSERT_TRUE(old->exec(QStringLiteral("INSERT INTO runs (id, unit_serial, started, ended, overall,"
                                                 " procedure_title) VALUES ('%1', 'SN-1042',"
                                                 " '2026-12-09T03:04:05.120+01:00',"
                                                 " '2026-12-09T03:14:05.120+01:00', 'FAIL', 'Old')")
                                      .arg(run.info.runId),
                                  &error))
                << error.toStdString();
            EXPECT_EQ(old->schemaVersion(&error), 1);
        }
        auto db = RecordsDatabase::openLocal(s.file(), &error);
        ASSERT_TRUE(db) << error.toStdString();
        EXPECT_EQ(db->schemaVersion(&error), RecordsDatabase::kSchemaVersion);
        const auto runs = db->runsOf(QStringLiteral("SN-1042"), &error);
        ASSERT_EQ(runs.size(), 1);
        EXPECT_EQ(runs[0].procedureTitle, QStringLiteral("Old"));
        EXPECT_EQ(runs[0].overall, Overall::Fail);
        EXPECT_TRUE(db->setCertificate(run.info.runId, QStringLiteral("TC/2026/0001"),
                                       run.info.end, QStringLiteral("A. Smith"), &error))
            << error.toStdString();
    }
    // A newer database is refused with a clear message and left untouched.
    {
        Scratch s;
        QString error;
        {
            auto db = RecordsDatabase::openLocal(s.file(), &error);
            ASSERT_TRUE(db);
            ASSERT_TRUE(db->exec(QStringLiteral("UPDATE schema_version SET version = %1")
                                     .arg(RecordsDatabase::kSchemaVersion + 1),
                                 &error));
        }
        const QByteArray before = contents(s.file());
        auto db = RecordsDatabase::openLocal(s.file(), &error);
        EXPECT_FALSE(db);
        EXPECT_TRUE(error.contains(QStringLiteral("newer TarnPilot"))) << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("Nothing was written"))) << error.toStdString();
        EXPECT_EQ(contents(s.file()), before);
    }
    // A file that is some other program's database is not taken over.
    {
        Scratch s;
        QString error;
        {
            auto db = RecordsDatabase::openLocalAt(s.file(), 0, &error);
            ASSERT_TRUE(db->exec(QStringLiteral("CREATE TABLE other (x INTEGER)"), &error));
        }
        EXPECT_FALSE(RecordsDatabase::openLocal(s.file(), &error));
        EXPECT_TRUE(error.contains(QStringLiteral("other tables"))) << error.toStdString();
    }
}

// A run as the runner drives the sink: points written through at once, a
// point taken again after Back kept beside its first attempt, the run cut off before
// its end and found again by a new program, then the same run ended.
TEST(RecordsSink, WritesEachPointThroughAndKeepsARunCutOff)
{
    Scratch s;
    testing::Journal journal;
    testing::FakeMessages messages(journal);
    RunRecord run = sampleRun();
    QString runId;
    PointResult again;
    {
        Records records(s.settings());
        RecordsSink sink(records, &messages);
        QString error;
        ASSERT_TRUE(sink.beginRun(run.info, &error)) << error.toStdString();
        runId = sink.runId();
        RunRecord sofar;
        sofar.info = run.info;
        for (int i = 0; i < 2; ++i) {
            sofar.points << run.points[i];
            ASSERT_TRUE(sink.recordPoint(sofar, run.points[i], &error)) << error.toStdString();
        }
        // Back: point 2 taken again, now passing.
        again = run.points[1];
        again.indicated = 1000005.0;
        again.error = 5.0;
        again.toleranceUsed = 50.0;
        again.result = Verdict::Pass;
        again.attempt = 2;
        sofar.points[1] = again;
        ASSERT_TRUE(sink.recordPoint(sofar, again, &error));
        run.points[1] = again;
        // The program dies here: no end.
    }
    EXPECT_TRUE(messages.shown.empty());

    Records records(s.settings());
    QString error;
    RecordsDatabase* db = records.local(&error);
    ASSERT_TRUE(db) << error.toStdString();
    const auto cut = db->loadRun(runId, &error);
    ASSERT_TRUE(cut) << error.toStdString();
    EXPECT_EQ(cut->points, run.points.mid(0, 2));
    EXPECT_EQ(db->attempts(runId, &error), (QList<int>{1, 2}));
    // The first taking of point 2 is kept.
    EXPECT_EQ(db->attemptsOf(runId, &error), (QList<PointResult>{run.points[0], sampleRun().points[1], again}));
    EXPECT_FALSE(cut->info.end.isValid());
    const auto listed = db->runsOf(run.info.unitSerial, &error);
    ASSERT_EQ(listed.size(), 1);
    EXPECT_FALSE(listed[0].overall.has_value());  // shown as not ended
    // The results file holds the two points, written from the stored run.
    const QString csv = records.resultsFilePath(run.info);
    EXPECT_EQ(contents(csv), ResultsCsv(*cut));

    // The run goes on and ends; the stored run regenerates the CSV exactly.
    RecordsSink sink(records, &messages);
    run.info.runId = runId;
    ASSERT_TRUE(sink.beginRun(run.info, &error));  // same id: particulars kept
    ASSERT_TRUE(sink.recordPoint(run, run.points[2], &error));
    const RunRecord ended = endedRun(run);
    ASSERT_TRUE(sink.endRun(ended, &error)) << error.toStdString();
    const auto stored = db->loadRun(runId, &error);
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, ended);
    EXPECT_EQ(ResultsCsv(*stored), ResultsCsv(ended));
    EXPECT_EQ(stored->info.end.offsetFromUtc(), 3600);
    EXPECT_EQ(contents(csv), ResultsCsv(ended));

    // Another run of the unit begun in the same second keeps its own file.
    RecordsSink next(records, &messages);
    RunRecord same = sampleRun();
    ASSERT_TRUE(next.beginRun(same.info, &error));
    same.info.runId = next.runId();
    EXPECT_TRUE(records.resultsFilePath(same.info).endsWith(QStringLiteral("SN-1042_20261209-030405-2.csv")));
    EXPECT_EQ(contents(csv), ResultsCsv(ended));

    // A finished run is not changed, except for its certificate.
    PointResult late = run.points[0];
    late.result = Verdict::Fail;
    EXPECT_FALSE(db->writePoint(runId, late, 9, false, &error));
    RunInfo otherEnd = ended.info;
    otherEnd.overall = Overall::Incomplete;
    EXPECT_TRUE(db->endRun(otherEnd, false, &error));
    EXPECT_EQ(db->loadRun(runId, &error)->info.overall, ended.info.overall);
    EXPECT_EQ(*db->loadRun(runId, &error), ended);
}

// Certificate numbers run on per series; a run gets one number only, and an
// as-left run is certified together with the run it followed.
TEST(RecordsCertificates, NumbersRunOnAndPairAsFoundWithAsLeft)
{
    Scratch s;
    Records records(s.settings());
    RecordsSink sink(records, nullptr);
    QString error;
    const RunRecord first = endedRun(sampleRun());
    ASSERT_TRUE(sink.beginRun(first.info, &error));
    for (const auto& p : first.points)
        ASSERT_TRUE(sink.recordPoint(first, p, &error));
    ASSERT_TRUE(sink.endRun(first, &error));
    const QString firstId = sink.runId();

    RunRecord second = sampleRun();
    second.info.asFoundRunId = firstId;
    second.info.start = first.info.end.addSecs(60);
    second.points[1].result = Verdict::Pass;
    const QDateTime issued(QDate(2026, 12, 9), QTime(5, 0), Qt::OffsetFromUTC, 3600);
    ASSERT_TRUE(sink.beginRun(second.info, &error));
    const QString secondId = sink.runId();
    EXPECT_FALSE(records.issueCertificate(secondId, QStringLiteral("A. Smith"), issued, &error));  // not ended
    EXPECT_TRUE(error.contains(QStringLiteral("has not ended")));
    for (const auto& p : second.points)
        ASSERT_TRUE(sink.recordPoint(second, p, &error));
    ASSERT_TRUE(sink.endRun(endedRun(second), &error));

    // Asked for from either run, the certificate is the pair's, numbered once.
    const auto pair = records.issueCertificate(firstId, QStringLiteral("A. Smith"), issued, &error);
    ASSERT_TRUE(pair) << error.toStdString();
    ASSERT_TRUE(pair->asFound);
    EXPECT_EQ(pair->asFound->info.runId, firstId);
    EXPECT_EQ(pair->run.info.runId, secondId);
    EXPECT_EQ(pair->run.info.certificateNumber, QStringLiteral("TC/2026/0001"));
    const auto again = records.issueCertificate(secondId, QStringLiteral("B. Other"), issued.addDays(3), &error);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->run.info.certificateNumber, QStringLiteral("TC/2026/0001"));
    EXPECT_EQ(again->run.info.certificateIssued, issued);
    EXPECT_EQ(again->run.info.approvedBy, QStringLiteral("A. Smith"));

    RecordsDatabase* db = records.local(&error);
    EXPECT_EQ(db->nextCertificateSequence(QStringLiteral("TC/2026"), &error), 2);
    EXPECT_EQ(db->nextCertificateSequence(QStringLiteral("TC/2027"), &error), 1);
    EXPECT_EQ(certificateFileName(QStringLiteral("TC/2026/0001")), QStringLiteral("TC-2026-0001.pdf"));
    EXPECT_EQ(certificateFileName(QStringLiteral("A:B*C 1")), QStringLiteral("A-B-C-1.pdf"));

    const auto history = db->runsOf(first.info.unitSerial, &error);
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(history[0].runId, secondId);  // newest first
    EXPECT_EQ(history[0].certificateNumber, QStringLiteral("TC/2026/0001"));
    EXPECT_EQ(history[1].overall, Overall::Fail);
}

} // namespace
} // namespace tarn
