// Procedures that read the unit under test: the checker's rules for [uut]
// and `measure`, a whole unattended run against tarn-sim's calibrator model
// and scope-sim, and the fallbacks when the unit gives no reading.

#include "procedure/check.h"
#include "procedure/procedure.h"
#include "procedure/runner.h"

#include "app/test_fakes.h"
#include "app/workstation.h"
#include "channel/command_log.h"
#include "sim/calibrator_model.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <deque>

namespace tarn {
namespace {

QString writtenFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
}

const QByteArray kUut = "[uut]\ndriver = \"rigol-ds1000z\"\nresource = \"TCPIP::127.0.0.1::5025::SOCKET\"\n";

TEST(UutProcedure, CheckerRulesForTheUnitUnderTest)
{
    const QByteArray square = "[[test]]\nfunction = \"amplitude\"\nwaveform = \"square\"\ndivisions = 4\n"
                              "method = \"reading\"\ntolerance = \"3%\"\npoints = [0.1]\n";
    struct Case {
        QByteArray text;
        const char* expected;  // a line of the checker's output
    };
    const Case cases[] = {
        {kUut + square + "measure = \"peak_to_peak\"\n", "P: 1 tests, 1 points"},
        {kUut + square + "measure = \"mean\"\n",
         "P:12: measure \"mean\" does not fit the square wave; it takes \"peak_to_peak\" or \"amplitude\""},
        {kUut + square + "measure = \"vpp\"\n", "P:12: unknown measure `vpp`"},
        {square + "measure = \"amplitude\"\n", "P:9: `measure` takes the results from the unit under test"},
        {"[uut]\ndriver = \"rigol-ds1000z\"\nresource = \"GPIB0::7::INSTR\"\n" + square,
         "P:4: resource \"GPIB0::7::INSTR\" is a GPIB address"},
        {"[uut]\ndriver = \"rigol\"\nresource = \"/dev/usbtmc0\"\n" + square, "P:3: there is no driver \"rigol\""},
        {"[uut]\nresource = \"/dev/usbtmc0\"\nchannel = 0\n" + square, "P:2: [uut] needs `driver`"},
        {"[uut]\ndriver = \"rigol-ds1000z\"\nchannel = 0\n" + square, "P:4: `channel` must be a whole number from 1"},
        {kUut + "speed = 1\n" + square, "P:5: unknown key `speed` in [uut]"},
        {"[uut]\ndriver = \"only-vpp.toml\"\n" + square + "measure = \"amplitude\"\n",
         "P:11: the driver only-vpp has no amplitude measurement"},
        {kUut + "[[test]]\nfunction = \"frequency\"\nmethod = \"check\"\npoints = [1000]\nmeasure = \"frequency\"\n",
         "P:9: `measure` is for reading tests and the risetime method only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        QTemporaryDir dir;
        writtenFile(dir, QStringLiteral("only-vpp.toml"),
                    "identify = 'X'\n[measure.peak_to_peak]\nquery = 'VPP? {ch}'\n");
        const QString path = writtenFile(dir, QStringLiteral("p.toml"), "title = \"T\"\n" + c.text);
        QString out;
        QTextStream stream(&out);
        ProcedureCheckOptions options;
        options.driversFolder = QStringLiteral(TARN_DRIVERS_DIR);
        const int status = RunProcedureCheck(path, stream, options);
        out.replace(path, QStringLiteral("P"));
        EXPECT_TRUE(out.contains(QLatin1String(c.expected))) << out.toStdString();
        EXPECT_EQ(status, QByteArray(c.expected).startsWith("P: ") ? 0 : 1) << out.toStdString();
    }
    // Five readings unless the test says otherwise.
    const ProcedureReading reading = ReadProcedure("title = \"T\"\n" + kUut + square + "measure = \"amplitude\"\n");
    ASSERT_TRUE(reading.procedure);
    EXPECT_EQ(reading.procedure->tests.first().readings, 5);
    EXPECT_EQ(reading.procedure->tests.first().measure, MeasureKind::Amplitude);
}

// The front panel's bench, with tarn-sim's calibrator model behind it: each
// piece the panel sends reaches the model, whose state file scope-sim reads.
class SimulatedBench final : public Bench {
public:
    SimulatedBench(testing::Harness& h, QString stateFile) : h_(h), inner_(h.station().bench()), state_(std::move(stateFile))
    {
        sync();
    }
    bool busy() const override { return inner_.busy(); }
    bool closed() const override { return inner_.closed(); }
    NumberFormat numberFormat() const override { return inner_.numberFormat(); }
    MessageResult showMessage(const MessageRequest& r) override { return inner_.showMessage(r); }
    QString calibratorIdentity() const override { return inner_.calibratorIdentity(); }
    QString setting(const QString& s, const QString& k) const override { return inner_.setting(s, k); }
    void storeSetting(const QString& s, const QString& k, const QString& v) override { inner_.storeSetting(s, k, v); }
    QString calibratorSpecFile() const override { return inner_.calibratorSpecFile(); }
    void OutputZero() override { inner_.OutputZero(); sync(); }
    void SelectFunction(TestFunction f) override { inner_.SelectFunction(f); sync(); }
    bool FunctionSelected(TestFunction f) const override { return inner_.FunctionSelected(f); }
    void ApplyAmplitude(const AmplitudeSetting& s) override { inner_.ApplyAmplitude(s); sync(); }
    bool AmplitudeHolds(const AmplitudeSetting& s) const override { return inner_.AmplitudeHolds(s); }
    double LastVoltsPerDivisionSent() const override { return inner_.LastVoltsPerDivisionSent(); }
    void ApplyFrequency(double hz) override { inner_.ApplyFrequency(hz); sync(); }
    void ApplyPeriod(double s) override { inner_.ApplyPeriod(s); sync(); }
    void Click(const QString& b) override { inner_.Click(b); sync(); }
    CommandLog* commandLog() override { return inner_.commandLog(); }
    void wait(int) override {}
    QString driversFolder() const override { return QStringLiteral(TARN_DRIVERS_DIR); }

private:
    void sync()
    {
        const QStringList pieces = h_.pieces();
        for (qsizetype i = consumed_; i < pieces.size(); ++i)
            model_.receive(pieces.at(i).toStdString());
        consumed_ = pieces.size();
        QFile file(state_);
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray::fromStdString(model_.stateText()));
    }
    testing::Harness& h_;
    Bench& inner_;
    QString state_;
    sim::CalibratorModel model_;
    qsizetype consumed_ = 0;
};

const QByteArray kAutomaticRun = R"(
[[test]]
name = "Square"
function = "amplitude"
waveform = "square"
divisions = 4
method = "reading"
measure = "peak_to_peak"
tolerance = "3%"
points = [0.1, 0.5]

[[test]]
name = "DC"
function = "amplitude"
waveform = "dc"
divisions = 2
method = "reading"
measure = "mean"
tolerance = "3%"
points = [0.5]

[[test]]
name = "Time base"
function = "frequency"
method = "reading"
measure = "frequency"
tolerance = "0.1%"
points = [1000]

[[test]]
name = "Bandwidth"
function = "fastrise"
method = "risetime"
measure = "rise_time"
min_bandwidth = 150
)";

TEST(UutProcedure, UnattendedRunAgainstBothSimulators)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString state = dir.filePath(QStringLiteral("state"));
    testing::Harness h;
    h.start();
    h.profile.writeString(QStringLiteral("Procedures"), QStringLiteral("Records"), dir.path(), testing::kSettingsPath);
    SimulatedBench bench(h, state);

    const double gain = 0.02, noise = 0.001;
    QProcess scope;
    scope.start(QStringLiteral(TARN_SCOPE_SIM_PATH),
                {QStringLiteral("--driver"), QStringLiteral(TARN_DRIVERS_DIR "/rigol-ds1000z.toml"), QStringLiteral("--input"),
                 state, QStringLiteral("--idn"), QStringLiteral("RIGOL TECHNOLOGIES,DS1104Z,SN-7,00.04.04"),
                 QStringLiteral("--gain"), QString::number(gain), QStringLiteral("--noise"), QString::number(noise),
                 QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--bandwidth"), QStringLiteral("200")});
    ASSERT_TRUE(scope.waitForStarted(5000) && scope.waitForReadyRead(5000));
    const QString resource = QString::fromLatin1(scope.readLine()).trimmed();
    // The bench's settings file gives the resource, as a laboratory's would.
    h.profile.writeString(QStringLiteral("UUT"), QStringLiteral("Resource"), resource, testing::kSettingsPath);

    const QString file = writtenFile(dir, QStringLiteral("auto.toml"),
                                     "title = \"Unattended\"\n[uut]\ndriver = \"rigol-ds1000z\"\nchannel = 1\n" + kAutomaticRun);
    QString problems;
    auto runner = ProcedureRunner::open(bench, file, &problems);
    ASSERT_TRUE(runner) << problems.toStdString();
    int told = 0;
    runner->setProgressListener([&] { ++told; });
    ASSERT_TRUE(runner->Begin(unitDetails("SN-7", "Ann", "DS1104Z")))
        << (h.messages.shown.empty() ? std::string() : h.messages.shown.back().text.toStdString());
    EXPECT_EQ(runner->record().info.uutIdentification, "RIGOL TECHNOLOGIES,DS1104Z,SN-7,00.04.04");
    // The operator only confirms each connection change.
    for (int test = 0; test < 4; ++test) {
        ASSERT_EQ(runner->stage(), ProcedureRunner::Stage::Connect) << test;
        runner->Continue();
    }
    ASSERT_EQ(runner->stage(), ProcedureRunner::Stage::Finished);
    scope.kill();
    scope.waitForFinished(5000);

    const QList<PointResult>& points = runner->record().points;
    ASSERT_EQ(points.size(), 5);
    // The mean of five readings with 0.1 % noise: within 0.1 % of the gain error.
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const PointResult& p = points.at(i);
        ASSERT_EQ(p.readings.size(), 5);
        ASSERT_TRUE(p.error && p.actual);
        EXPECT_NEAR(*p.error / *p.actual, gain, noise);
        EXPECT_EQ(p.result, Verdict::Pass);
    }
    EXPECT_NEAR(*points.at(0).indicated, 0.4 * (1 + gain), 0.4 * noise);
    EXPECT_NEAR(*points.at(3).indicated, 1000.0, 1000.0 * noise);
    EXPECT_NEAR(*points.at(4).indicated, 200.0, 200.0 * 2 * noise);  // MHz, from the rise time
    EXPECT_EQ(points.at(4).result, Verdict::Pass);
    EXPECT_TRUE(points.at(4).riseTime);
    EXPECT_EQ(told, 5 * 5 + 5);  // each reading and each point
    EXPECT_TRUE(h.window->commandLog().text().contains(QStringLiteral("[uut] > :MEASure:ITEM? VPP,CHANnel1")));
    EXPECT_TRUE(h.window->commandLog().text().contains(QStringLiteral("[uut] > :MEASure:ITEM? RTIMe,CHANnel1")));
}

// A unit that answers as a script says.
class ScriptedSession final : public UutSession {
public:
    UutFault connect() override { connected_ = true; return {}; }
    bool connected() const override { return connected_; }
    const UutIdentity& identity() const override { return identity_; }
    UutReading measure(MeasureKind, int) override
    {
        ++asked;
        if (script.empty())
            return {1.0, {}};
        UutReading r = script.front();
        script.pop_front();
        return r;
    }
    int settleMs() const override { return 0; }
    void close() override { connected_ = false; }

    UutIdentity identity_;
    std::deque<UutReading> script;
    int asked = 0;
    bool connected_ = false;
};

TEST(UutProcedure, FaultsOfferRetryTypingOrSkip)
{
    QTemporaryDir dir;
    testing::Harness h;
    h.start();
    h.profile.writeString(QStringLiteral("Procedures"), QStringLiteral("Records"), dir.path(), testing::kSettingsPath);
    // The driver by its path, as a laboratory's own would be named.
    const QByteArray uut = "[uut]\ndriver = \"" TARN_DRIVERS_DIR "/rigol-ds1000z.toml\"\n"
                           "resource = \"TCPIP::127.0.0.1::5025::SOCKET\"\n";
    const QString file = writtenFile(dir, QStringLiteral("f.toml"), "title = \"F\"\n" + uut + R"(
[[test]]
function = "amplitude"
waveform = "square"
divisions = 2
method = "reading"
measure = "peak_to_peak"
readings = 2
tolerance = "3%"
points = [0.5, 0.5, 0.5]
)");
    ScriptedSession* session = nullptr;
    QString problems;
    auto runner = ProcedureRunner::open(h.station().bench(), file, &problems);
    ASSERT_TRUE(runner) << problems.toStdString();
    runner->setUutSessionFactory([&](const UutDriver&, const UutResource&) {
        auto s = std::make_unique<ScriptedSession>();
        s->identity_ = ParseUutIdentity(QStringLiteral("RIGOL TECHNOLOGIES,DS1104Z,DS1ZA1,1"));
        session = s.get();
        using K = UutFault::Kind;
        s->script = {
            {std::nullopt, {K::Timeout, QStringLiteral("no reply")}},       // point 1: retried, then
            {1.01, {}}, {1.03, {}},                                           // two readings
            {std::nullopt, {K::NoMeasurement, QStringLiteral("none")}},     // point 2: typed instead
            {std::nullopt, {K::ConnectionLost, QStringLiteral("closed")}},  // point 3: lost, retried,
            {std::nullopt, {K::ConnectionLost, QStringLiteral("closed")}},  // still lost: skipped
        };
        return s;
    });
    // Another serial than the typed one is asked about.
    h.messages.answers = {MessageResult::No};
    EXPECT_FALSE(runner->Begin(unitDetails("SN-1", "Ann")));
    EXPECT_TRUE(h.messages.shown.back().text.contains(QStringLiteral("serial number DS1ZA1")));
    h.messages.answers = {MessageResult::Yes};
    ASSERT_TRUE(runner->Begin(unitDetails("SN-1", "Ann"))) << h.messages.shown.back().text.toStdString();

    h.messages.answers = {MessageResult::Yes,                      // point 1: try again
                          MessageResult::No, MessageResult::Yes,   // point 2: type it
                          MessageResult::Yes,                      // point 3: try again
                          MessageResult::No, MessageResult::No};   // then skip
    const std::size_t before = h.messages.shown.size();
    runner->Continue();
    ASSERT_EQ(runner->pointNumber(), 2);
    EXPECT_EQ(runner->stage(), ProcedureRunner::Stage::Point);
    EXPECT_TRUE(runner->Record(QStringLiteral("0.99 V")));  // one typed value, as typed
    ASSERT_EQ(runner->stage(), ProcedureRunner::Stage::Finished);

    const QList<PointResult>& points = runner->record().points;
    ASSERT_EQ(points.size(), 3);
    EXPECT_EQ(points.at(0).readings, (QList<double>{1.01, 1.03}));
    EXPECT_NEAR(*points.at(0).indicated, 1.02, 1e-12);
    EXPECT_TRUE(points.at(1).readings.isEmpty());
    EXPECT_DOUBLE_EQ(*points.at(1).indicated, 0.99);
    EXPECT_EQ(points.at(2).result, Verdict::Skipped);
    EXPECT_FALSE(points.at(2).indicated);
    // The lost connection is said once, then shortly.
    QStringList texts;
    for (std::size_t i = before; i < h.messages.shown.size(); ++i)
        texts << h.messages.shown[i].text;
    EXPECT_EQ(texts.filter(QStringLiteral("was lost")).size(), 1) << texts.join(u'\n').toStdString();
    EXPECT_EQ(texts.filter(QStringLiteral("still no connection")).size(), 1);
    EXPECT_TRUE(h.pieces().endsWith(QStringLiteral("OFF")));
}

} // namespace
} // namespace tarn
