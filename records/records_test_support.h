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

// The run once it has ended.
inline RunRecord endedRun(RunRecord run)
{
    run.info.end = run.info.start.addSecs(600);
    run.info.overall = overallOf(run.points, run.info.pointsInProcedure, false);
    return run;
}

} // namespace tarn::testing
