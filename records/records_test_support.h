#pragma once
// A run as the runner leaves it, for the records' tests, and a scratch
// records folder.

#include "procedure/results.h"

#include <QTemporaryDir>

namespace tarn::testing {

// Three points of three kinds, the second failed, in a run started at a
// fixed time an hour ahead of UTC.
inline RunRecord sampleRun(const QString& serial = QStringLiteral("SN-1042"))
{
    RunRecord run;
    RunInfo& i = run.info;
    i.procedureTitle = QStringLiteral("Scope, \"CH1\" check");
    i.procedureRevision = QStringLiteral("3");
    i.procedureText = QByteArray("title = \"Scope\"\n\xc2\xb5 text\n");
    i.procedureSha256 = QStringLiteral("ab12");
    i.procedureFile = QStringLiteral("/procs/scope.toml");
    i.instrument = QStringLiteral("100 MHz oscilloscope");
    i.unitModel = QStringLiteral("DS-100");
    i.unitSerial = serial;
    i.unitAsset = QStringLiteral("A-7");
    i.customer = QStringLiteral("Acme Labs");
    i.operatorName = QStringLiteral("J. Doe");
    i.temperature = QStringLiteral("23.1");
    i.humidity = QStringLiteral("45");
    i.start = QDateTime(QDate(2026, 12, 9), QTime(3, 4, 5, 120), Qt::OffsetFromUTC, 3600);
    i.calibrator = QStringLiteral("demonstration edition");
    i.decisionRule = QStringLiteral("guarded");
    i.guard = QStringLiteral("10%");
    i.pointsInProcedure = 3;

    PointResult a;
    a.point = 1;
    a.test = QStringLiteral("DC gain");
    a.function = QStringLiteral("amplitude");
    a.setting = QStringLiteral("10 mV/div x 6 div, DC");
    a.nominal = 0.06;
    a.indicated = 0.06;
    a.actual = 0.0606;
    a.error = -0.0006;
    a.lower = 0.0588;
    a.upper = 0.0612;
    a.unit = QStringLiteral("V");
    a.toleranceUsed = 50.0;
    a.result = Verdict::Pass;
    PointResult b;
    b.point = 2;
    b.test = QStringLiteral("Counter");
    b.function = QStringLiteral("frequency");
    b.setting = QStringLiteral("1 MHz");
    b.nominal = 1e6;
    b.indicated = 1000012.5;
    b.actual = 1e6;
    b.error = 12.5;
    b.lower = 999990;
    b.upper = 1000010;
    b.unit = QStringLiteral("Hz");
    b.toleranceUsed = 125.0;
    b.result = Verdict::Fail;
    PointResult c;
    c.point = 3;
    c.test = QStringLiteral("Markers");
    c.function = QStringLiteral("period");
    c.setting = QStringLiteral("1 us");
    c.result = Verdict::Pass;
    run.points = {a, b, c};
    return run;
}

// The sample run with every particular and every point field filled in,
// as the runner leaves a run made with a calibrator file.
inline RunRecord fullRun(const QString& serial = QStringLiteral("SN-1042"))
{
    RunRecord run = sampleRun(serial);
    RunInfo& i = run.info;
    i.customerAddress = QStringLiteral("1 High St\nTarnby TB1 2CD");
    i.unitMaker = QStringLiteral("Scopes & Co");
    i.dateReceived = QDate(2026, 12, 1);
    i.condition = QStringLiteral("damaged");
    i.dataSheet = QStringLiteral("DS-100 data sheet, rev. C");
    i.temperatureC = 23.1;
    i.humidityRH = 45.5;
    i.adjustment = QStringLiteral("CH1 gain trimmed");
    i.uutIdentification = QStringLiteral("ACME,DS-100,SN-1042,1.02");
    i.calibrator = QStringLiteral("Tarn T-00417");
    i.calibratorModel = QStringLiteral("Tarn");
    i.calibratorSerial = QStringLiteral("T-00417");
    i.calibratorCertificate = QStringLiteral("UKAS 12345/2026");
    i.calibratorDue = QDate(2027, 3, 2);
    i.calibratorSpecText = QByteArray("[calibrator]\nmodel = \"Tarn\"\n\xc2\xb5\n");
    i.calibratorSpecSha256 = QStringLiteral("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
    i.calibratorPastDue = true;
    i.guard = QStringLiteral("U");
    PointResult& a = run.points[0];
    a.uncertainty = 0.00013;
    a.coverageFactor = 2.0;
    a.tur = 4.6;
    a.budget = {{QStringLiteral("calibrator"), 0.00017, QStringLiteral("normal"), 2.0, 1.0, 0.000085, std::nullopt},
                {QStringLiteral("repeatability"), 0.0000447, QStringLiteral("normal"), 2.2360679774997898, 1.0,
                 0.00002, 4.0}};
    a.readings = {0.0601, 0.0606, 0.0603, 0.0604, 0.0616};
    a.takenAt = QDateTime(QDate(2026, 12, 9), QTime(3, 5, 0, 250), Qt::OffsetFromUTC, 3600);
    a.takenBy = QStringLiteral("J. Doe");
    a.remark = QStringLiteral("trace noisy");
    PointResult& b = run.points[1];
    b.attempt = 2;
    b.correctionReason = QStringLiteral("typed in the wrong unit");
    b.correctedBy = QStringLiteral("A. Smith");
    b.takenAt = QDateTime(QDate(2026, 12, 9), QTime(3, 6, 0), Qt::OffsetFromUTC, -18000);
    PointResult bandwidth;
    bandwidth.point = 4;
    bandwidth.test = QStringLiteral("Bandwidth");
    bandwidth.function = QStringLiteral("fastrise");
    bandwidth.setting = QStringLiteral("fast edge");
    bandwidth.nominal = 100.0;
    bandwidth.indicated = 109.858843601;
    bandwidth.lower = 100.0;
    bandwidth.unit = QStringLiteral("MHz");
    bandwidth.riseTime = 3.2;
    bandwidth.uncertainty = 2.4;
    bandwidth.coverageFactor = 2.0;
    bandwidth.result = Verdict::NoDecision;
    run.points << bandwidth;
    i.pointsInProcedure = 4;
    return run;
}

// The run once it has ended.
inline RunRecord endedRun(RunRecord run)
{
    run.info.end = run.info.start.addSecs(600);
    run.info.overall = overallOf(run.points, run.info.pointsInProcedure, false);
    return run;
}

} // namespace tarn::testing

#include "records/records.h"

#include <gtest/gtest.h>

namespace tarn::testing {

// A records folder of the test's own, with its SQLite file and settings that
// number certificates TC/<year>/<n>.
struct Scratch {
    QTemporaryDir dir;
    QString file() const { return dir.filePath(QStringLiteral("records.sqlite")); }
    RecordsSettings settings() const
    {
        RecordsSettings s;
        s.folder = dir.path();
        s.laboratory.certificatePrefix = QStringLiteral("TC");
        return s;
    }
};

// Writes a fully filled run through `db` as the runner and the approval
// would, and reads it back: every field must come back as written.
inline void expectEveryFieldKept(RecordsDatabase& db)
{
    RunRecord run = endedRun(fullRun());
    RunInfo& i = run.info;
    i.runId = newRunId();
    i.replacesCertificate = QStringLiteral("TC/2026/0007");
    QString error;
    ASSERT_TRUE(db.writeRun(i, {}, &error)) << error.toStdString();
    for (const PointResult& p : run.points)
        ASSERT_TRUE(db.writePoint(i.runId, p, p.attempt, false, &error)) << error.toStdString();
    ASSERT_TRUE(db.endRun(i, false, &error)) << error.toStdString();
    i.certificateNumber = QStringLiteral("TC/2026/0008");
    i.certificateIssued = QDateTime(QDate(2026, 12, 10), QTime(9, 30, 0, 5), Qt::OffsetFromUTC, 7200);
    i.approvedBy = QStringLiteral("A. Smith");
    i.approved = i.certificateIssued;
    ASSERT_TRUE(db.setCertificate(i.runId, i.certificateNumber, i.certificateIssued, i.approvedBy, &error));
    const auto stored = db.loadRun(i.runId, &error);
    ASSERT_TRUE(stored) << error.toStdString();
    EXPECT_EQ(stored->info, run.info);
    ASSERT_EQ(stored->points.size(), run.points.size());
    for (qsizetype at = 0; at < run.points.size(); ++at)
        EXPECT_EQ(stored->points[at], run.points[at]) << "point " << run.points[at].point;
    EXPECT_EQ(ResultsCsv(*stored), ResultsCsv(run));
}

// A database left at schema version 2 holding a certified run with a
// point taken twice, written in that version's own columns.
inline void fillSchemaTwo(RecordsDatabase& old, const QString& runId)
{
    QString error;
    ASSERT_EQ(old.schemaVersion(&error), 2) << error.toStdString();
    ASSERT_TRUE(old.exec(QStringLiteral("INSERT INTO runs (id, procedure_title, unit_serial, customer,"
                                        " operator_name, temperature, started, ended, overall,"
                                        " decision_rule, guard, points_in_procedure,"
                                        " certificate_number, certificate_issued, server) VALUES"
                                        " ('%1', 'Old check', 'SN-1042', 'Acme Labs', 'J. Doe', '23.1',"
                                        " '2026-12-09T03:04:05.120+01:00', '2026-12-09T03:14:05.120+01:00',"
                                        " 'PASS', 'guarded', '10%', 2, 'TC/2026/0001',"
                                        " '2026-12-09T05:00:00.000+01:00', '')")
                             .arg(runId),
                         &error))
        << error.toStdString();
    ASSERT_TRUE(old.exec(QStringLiteral("INSERT INTO points (run_id, point, attempt, test, function_name,"
                                        " setting, nominal, indicated, actual, error_value, lower_limit,"
                                        " upper_limit, unit, tolerance_used, result) VALUES"
                                        " ('%1', 1, 1, 'DC gain', 'amplitude', '10 mV/div x 6 div, DC', 0.06,"
                                        " 0.0606, 0.06, 0.0006, 0.0588, 0.0612, 'V', 50, 'Pass'),"
                                        " ('%1', 2, 2, 'Counter', 'frequency', '1 MHz', 1000000, 1000005,"
                                        " 1000000, 5, 999990, 1000010, 'Hz', 50, 'Pass')")
                             .arg(runId),
                         &error))
        << error.toStdString();
}

// The run of fillSchemaTwo, read after the database was brought to the
// present schema: nothing lost, and the run can be amended.
inline void expectSchemaTwoKept(RecordsDatabase& db, const QString& runId)
{
    QString error;
    EXPECT_EQ(db.schemaVersion(&error), RecordsDatabase::kSchemaVersion);
    const auto run = db.loadRun(runId, &error);
    ASSERT_TRUE(run) << error.toStdString();
    EXPECT_EQ(run->info.procedureTitle, QStringLiteral("Old check"));
    EXPECT_EQ(run->info.certificateNumber, QStringLiteral("TC/2026/0001"));
    EXPECT_EQ(run->info.certificateIssued,
              QDateTime(QDate(2026, 12, 9), QTime(5, 0), Qt::OffsetFromUTC, 3600));
    EXPECT_EQ(run->info.overall, Overall::Pass);
    EXPECT_TRUE(run->info.approvedBy.isEmpty());
    ASSERT_EQ(run->points.size(), 2);
    EXPECT_EQ(run->points[0].actual, 0.06);
    EXPECT_EQ(run->points[1].attempt, 2);
    EXPECT_EQ(run->points[1].indicated, 1000005.0);
    EXPECT_EQ(run->points[1].toleranceUsed, 50.0);
    EXPECT_FALSE(run->points[1].uncertainty);
    EXPECT_EQ(db.attempts(runId, &error), (QList<int>{1, 2}));
    // Its tables take the new kinds of rows: an amended copy with a
    // correction.
    PointResult corrected = run->points[0];
    corrected.attempt = 2;
    corrected.correctionReason = QStringLiteral("slip");
    const QString copy = newRunId();
    ASSERT_TRUE(db.amendRun(runId, copy, {}, run->info.certificateNumber, corrected, Overall::Pass, &error))
        << error.toStdString();
    EXPECT_EQ(db.loadRun(copy, &error)->points[0], corrected);
    EXPECT_EQ(db.runsOf(QStringLiteral("SN-1042"), &error)[1].replacedBy, copy);
}

} // namespace tarn::testing
