#include "procedure/view/procedure_window.h"

#include "procedure/runner.h"
#include "procedure/view/runner_test_harness.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>

namespace tarn {
namespace {

using namespace tarn::testing;

const QByteArray kProcedure = R"(title = "Window run"

[[test]]
name = "Gain"
instruction = "Connect CH1."
function = "amplitude"
waveform = "dc"
divisions = 6
method = "deviation"
tolerance = "0.1 div"
points = [0.01]

[[test]]
name = "Counter"
function = "frequency"
method = "reading"
tolerance = "50 ppm"
points = [1000]

[[test]]
name = "Markers"
function = "period"
method = "check"
points = [0.001]
)";

TEST(ProcedureWindow, ClickThroughARunWithOutputOffAtEachConnection)
{
    RunnerWindowHarness r;
    ASSERT_TRUE(r.open(kProcedure));
    GuiHarness& h = r.h;
    QWidget*& window = r.window;
    EXPECT_EQ(window->objectName(), QStringLiteral("frmProcedure"));
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    const auto w = [&](const char* name) { return r.w(name); };
    const auto text = [&](const char* name) { return r.text(name); };
    const auto click = [&](const char* name) { r.click(name); };
    h.sent();

    // Begin refuses without the serial number.
    QTest::keyClicks(w("txtOperator"), QStringLiteral("Bea"));
    click("cmdBegin");
    EXPECT_EQ(h.messages.shown.back().text,
              QStringLiteral("Please enter the unit's serial number before the run begins."));
    QTest::keyClicks(w("txtUnitSerial"), QStringLiteral("A7"));
    click("cmdBegin");
    EXPECT_EQ(h.sent(), QStringLiteral("OFF"));
    EXPECT_TRUE(w("cmdContinue")->isVisible());
    EXPECT_EQ(text("lblProgress"), QStringLiteral("Point 1 of 3"));

    click("cmdContinue");
    EXPECT_EQ(h.sent(), QStringLiteral("OFF/A 0.01/G 6/WAVE DC/50R OFF"));
    EXPECT_EQ(text("lblStimulus"), QStringLiteral("10 mV/div \u00d7 6 div, DC: 60 mV"));
    EXPECT_EQ(text("lblLimits"), QStringLiteral("Limits: 59 mV to 61 mV"));
    QTest::keyClick(window, Qt::Key_PageUp);
    EXPECT_EQ(h.sent(), QStringLiteral("A 0.01001"));
    EXPECT_EQ(text("lblUutError"), QStringLiteral("Unit's error: -0.0600 mV (-0.100 %)"));
    EXPECT_EQ(h.widget<QLabel>(QStringLiteral("lblDeviation"))->text(), QStringLiteral("+0.10%"));
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(h.sent(), QStringLiteral("OFF"));
    ASSERT_EQ(static_cast<QListWidget*>(w("lstResults"))->count(), 1);

    click("cmdContinue");
    EXPECT_TRUE(w("txtReading")->isVisible());
    EXPECT_EQ(text("lblReadingUnit"), QStringLiteral("kHz"));
    QTest::keyClicks(w("txtReading"), QStringLiteral("1.0001"));  // +100 ppm
    click("cmdRecord");
    click("cmdContinue");
    click("cmdPass");
    EXPECT_EQ(h.sent().split(u'/').last(), QStringLiteral("OFF"));
    EXPECT_EQ(text("lblOverall"), QStringLiteral("FAIL"));

    const QDir records(r.dir.path());
    QFile csv(records.filePath(records.entryList({QStringLiteral("A7_*.csv")}).value(0)));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.mid(1, 3).join(u'\n').toStdString(),
              "1,Gain,amplitude,\"10 mV/div x 6 div, DC\",0.06,0.06,0.06006,-0.00006,0.059,0.061,V,6.0,Pass,,,\n"
              "2,Counter,frequency,1 kHz,1000,1000.1,1000,0.1,999.95,1000.05,Hz,200.0,Fail,,,\n"
              "3,Markers,period,1 ms,,,,,,,,,Pass,,,");
    EXPECT_TRUE(lines.contains(QStringLiteral("# operator,Bea")));
    window->close();

    // Again, aborted while the first point is being sent: the abort waits,
    // and OFF is the last piece.
    ASSERT_TRUE(r.reopen());
    EXPECT_EQ(static_cast<QLineEdit*>(w("txtOperator"))->text(), QStringLiteral("Bea"));
    QTest::keyClicks(w("txtUnitSerial"), QStringLiteral("A8"));
    click("cmdBegin");
    h.sent();
    h.pauses.duringNextSleep = [&] { click("cmdAbort"); };
    click("cmdContinue");
    QTest::qWait(200);
    EXPECT_TRUE(h.sent().endsWith(QStringLiteral("OFF/A 0.01/G 6/WAVE DC/50R OFF/OFF")));
    EXPECT_EQ(text("lblOverall"), QStringLiteral("INCOMPLETE"));
}

// With a calibrator file the point's U and TUR stand beside its
// limits, a TUR below the minimum marked; a point of several readings takes
// them in turn in the same box.
TEST(RunnerWindow, UncertaintyBesideTheLimitsAndReadingsInTurn)
{
    RunnerWindowHarness r;
    ASSERT_TRUE(r.open("title = \"Readings\"\n[[test]]\nname = \"Readout\"\nfunction = \"amplitude\"\n"
                       "waveform = \"dc\"\ndivisions = 6\nmethod = \"reading\"\nreadings = 3\n"
                       "tolerance = \"0.5 mV\"\npoints = [0.01]\n"));
    const QString spec = r.dir.filePath(QStringLiteral("cal.toml"));
    QFile out(spec);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("[calibrator]\nmodel = \"Tarn\"\nserial = \"T-1\"\ncertificate = \"C\"\ndue = 2099-01-01\n"
              "[[spec]]\nfunction = \"amplitude\"\npercent = 0.25\nfloor = \"20 uV\"\ncoverage = 2\n");
    out.close();
    r.h.memoryProfile.writeString(QStringLiteral("Procedures"), QStringLiteral("Calibrator"), spec, kSettingsPath);
    QTest::keyClicks(r.w("txtOperator"), QStringLiteral("Bea"));
    QTest::keyClicks(r.w("txtUnitSerial"), QStringLiteral("R1"));
    r.click("cmdBegin");
    r.click("cmdContinue");
    // Before the readings: the calibrator's 170 uV at k = 2 alone; 1 mV / 0.34 mV.
    EXPECT_EQ(r.text("lblLimits"), QStringLiteral("Limits: 59.5 mV to 60.5 mV"));
    EXPECT_EQ(r.text("lblUncertainty"),
              QStringLiteral("U = 0.17 mV (k = 2.00), TUR 2.9: below the procedure's minimum TUR of 4"));
    EXPECT_TRUE(r.w("lblUncertainty")->styleSheet().contains(QStringLiteral("color")));

    auto* results = static_cast<QListWidget*>(r.w("lstResults"));
    const char* const typed[] = {"60.1", "60.3", "60.2"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r.text("lblReadingCount"), QStringLiteral("reading %1 of 3").arg(i + 1));
        EXPECT_TRUE(r.w("lblReadingCount")->isVisible());
        EXPECT_EQ(results->count(), 0);
        QTest::keyClicks(r.w("txtReading"), QString::fromLatin1(typed[i]));
        QTest::keyClick(r.window, Qt::Key_Return);
        EXPECT_TRUE(static_cast<QLineEdit*>(r.w("txtReading"))->text().isEmpty());
    }
    ASSERT_EQ(results->count(), 1);
    EXPECT_TRUE(results->item(0)->text().contains(QStringLiteral(", U "))) << results->item(0)->text().toStdString();
    EXPECT_EQ(r.text("lblOverall"), QStringLiteral("PASS"));
    const PointResult point = r.launcher.window()->runner().record().points.value(0);
    EXPECT_EQ(point.readings.size(), 3);
    EXPECT_TRUE(point.uncertainty.has_value());
}

// The particulars go into the run as given; a temperature outside the
// procedure's limits asks before the run begins, and a remark goes with its
// point.
TEST(RunnerWindow, ParticularsConditionLimitsAndRemark)
{
    RunnerWindowHarness r;
    ASSERT_TRUE(r.open("title = \"Limits\"\nspecification = \"Scope data sheet rev. C\"\n"
                       "temperature = [18, 28]\nhumidity = [20, 70]\n[[test]]\nname = \"Counter\"\n"
                       "function = \"frequency\"\nmethod = \"reading\"\ntolerance = \"50 ppm\"\n"
                       "points = [1000, 2000]\n"));
    auto* window = static_cast<view::ProcedureWindow*>(r.window);
    QTest::keyClicks(r.w("txtUnitSerial"), QStringLiteral("C-9"));
    QTest::keyClicks(r.w("txtOperator"), QStringLiteral("Bea"));
    QTest::keyClicks(r.w("txtUnitMaker"), QStringLiteral("Acme"));
    QTest::keyClicks(r.w("txtCustomerAddress"), QStringLiteral("1 Bench Road"));
    auto* condition = r.window->findChild<QComboBox*>(QStringLiteral("cboCondition"));
    ASSERT_NE(condition, nullptr);
    condition->setCurrentText(QStringLiteral("scratched case"));
    r.window->findChild<QDateEdit*>(QStringLiteral("txtDateReceived"))->setDate(QDate(2026, 12, 1));
    QTest::keyClicks(r.w("txtTemperature"), QStringLiteral("31.5"));
    QTest::keyClicks(r.w("txtHumidity"), QStringLiteral("45 %"));

    r.h.messages.answers = {MessageResult::No};
    r.click("cmdBegin");
    EXPECT_EQ(window->runner().stage(), ProcedureRunner::Stage::Details);
    ASSERT_FALSE(r.h.messages.shown.empty());
    EXPECT_TRUE(r.h.messages.shown.back().text.startsWith(
        QStringLiteral("The temperature 31.5 °C lies outside the procedure's limits, 18 to 28 °C.")));

    static_cast<QLineEdit*>(r.w("txtTemperature"))->setText(QStringLiteral("23.1 °C"));
    r.click("cmdBegin");
    const RunInfo& info = window->runner().record().info;
    ASSERT_EQ(window->runner().stage(), ProcedureRunner::Stage::Connect);
    EXPECT_EQ(info.unitMaker, QStringLiteral("Acme"));
    EXPECT_EQ(info.customerAddress, QStringLiteral("1 Bench Road"));
    EXPECT_EQ(info.condition, QStringLiteral("scratched case"));
    EXPECT_EQ(info.dateReceived, QDate(2026, 12, 1));
    EXPECT_EQ(info.temperatureC, 23.1);
    EXPECT_EQ(info.humidityRH, 45.0);
    EXPECT_EQ(info.dataSheet, QStringLiteral("Scope data sheet rev. C"));

    r.click("cmdContinue");
    QTest::keyClicks(r.w("txtRemark"), QStringLiteral("trace noisy"));
    QTest::keyClicks(r.w("txtReading"), QStringLiteral("1.00001"));
    r.click("cmdRecord");
    QTest::keyClicks(r.w("txtReading"), QStringLiteral("2.00002"));
    r.click("cmdRecord");
    const QList<PointResult>& points = window->runner().record().points;
    ASSERT_EQ(points.size(), 2);
    EXPECT_EQ(points[0].remark, QStringLiteral("trace noisy"));
    EXPECT_TRUE(points[1].remark.isEmpty());
    EXPECT_EQ(points[0].takenBy, QStringLiteral("Bea"));
    EXPECT_TRUE(points[0].takenAt.isValid());
    // The results list follows the newest point.
    EXPECT_EQ(r.window->findChild<QListWidget*>(QStringLiteral("lstResults"))->currentRow(), 1);
}

} // namespace
} // namespace tarn
