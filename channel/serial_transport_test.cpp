// The serial line against tarn-sim on a pseudo-terminal.

#include "app/test_fakes.h"
#include "channel/serial_transport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

using namespace tarn;
using namespace tarn::testing;

namespace {

const QString kMissing = QStringLiteral("/nonexistent/ttyTarn");

struct Received {
    double ms;
    QString line;  // as the simulator logs it: C-style escapes, terminator included
};

// tarn-sim in its own process, with its raw input in a temporary file.
class Simulator {
public:
    explicit Simulator(QStringList options = {})
    {
        options << QStringLiteral("--raw") << rawPath();
        process_.start(QStringLiteral(TARN_SIM_PATH), options);
        await([this] { return out_.contains('\n'); }, 5000);
        const qsizetype end = out_.indexOf('\n');
        device = QString::fromLocal8Bit(out_.left(end));
        out_.remove(0, end + 1);
    }
    ~Simulator() { kill(); }
    QString rawPath() const { return dir_.filePath(QStringLiteral("raw")); }
    QByteArray raw() const
    {
        QFile file(rawPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The received lines once there are at least count of them, or when
    // two seconds have passed.
    std::vector<Received> received(std::size_t count)
    {
        static const QRegularExpression rx(QStringLiteral(R"re(^\s*([0-9.]+) ms <- "(.*)")re"));
        std::vector<Received> lines;
        await([&] {
            lines.clear();
            for (const QByteArray& text : out_.split('\n'))
                if (const auto m = rx.match(QString::fromLatin1(text)); m.hasMatch())
                    lines.push_back({m.captured(1).toDouble(), m.captured(2)});
            return lines.size() >= count;
        }, 2000);
        return lines;
    }
    QStringList texts(std::size_t count)
    {
        QStringList out;
        for (const Received& r : received(count))
            out << r.line;
        return out;
    }
    bool exited(int withinMs) { return process_.waitForFinished(withinMs); }
    void kill()
    {
        process_.kill();
        process_.waitForFinished(2000);
    }

    QString device;

private:
    // Reads the simulator's output until done() or until ms have passed.
    template <class Done>
    void await(Done done, int ms)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms) {
            process_.waitForReadyRead(50);
            out_ += process_.readAllStandardOutput();
        }
    }

    QTemporaryDir dir_;
    QProcess process_;
    QByteArray out_;
};

// A main window started on the serial line to the given device. With
// pacePieces, the 50 ms pauses between pieces really sleep, so that the
// pacing reaches the line; the long start-up and Apply pauses stay short.
struct SerialWindow {
    explicit SerialWindow(const QString& device, bool pacePieces = false)
    {
        h.profile.values[{kSettingsPath, QStringLiteral("tarn\ntransport")}] = QStringLiteral("Serial");
        setDevice(device);
        if (pacePieces)
            h.pauses.sleepUpToMs = 50;
        h.start();
    }
    void setDevice(const QString& device)
    {
        h.profile.values[{kSettingsPath, QStringLiteral("tarn\ndevice")}] = device;
    }
    bool indicatorShown() { return h.c(QStringLiteral("lblDeviceError")).visible; }
    bool panelShown(int index) { return h.c(QStringLiteral("fraFunction"), index).visible; }
    // The one report shown so far as "title|text", or how many there were.
    QString onlyReport() const
    {
        const auto& shown = h.messages.shown;
        return shown.size() == 1 ? shown[0].title + u'|' + shown[0].text
                                 : QStringLiteral("%1 reports").arg(shown.size());
    }

    SerialTransport transport;
    Harness h{&transport};
};

// The bytes read from fd until they end with `end`, or until nothing more
// comes within timeoutMs.
QByteArray readUntil(int fd, const QByteArray& end, int timeoutMs)
{
    QByteArray got;
    char buffer[4096];
    pollfd watch{fd, POLLIN, 0};
    while (!got.endsWith(end) && ::poll(&watch, 1, timeoutMs) == 1) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got += QByteArray(buffer, n);
    }
    return got;
}

} // namespace

TEST(SerialLine, IdentificationAsksAndWaitsAtMostItsTime)
{
    struct Case {
        QStringList options;
        LinkFault fault;
        int atLeastMs;
        int atMostMs;
    } cases[] = {
        {{}, LinkFault::None, 0, 500},
        {{"--silent"}, LinkFault::NoReply, 1000, 1500},
        {{"--garbage"}, LinkFault::WrongReply, 0, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        Simulator sim(c.options);
        ASSERT_TRUE(sim.device.startsWith("/dev/")) << sim.device.toStdString();
        SerialTransport transport;
        QElapsedTimer timer;
        timer.start();
        const LinkStatus status = transport.open(sim.device);
        const qint64 took = timer.elapsed();
        EXPECT_EQ(status.fault, c.fault) << status.reason.toStdString();
        EXPECT_GE(took, c.atLeastMs);
        EXPECT_LE(took, c.atMostMs);
        EXPECT_EQ(sim.texts(1), QStringList{R"(FUNC?\n)"});
        EXPECT_EQ(sim.raw(), QByteArray("FUNC?\n"));
    }
}

TEST(SerialLine, MissingDeviceCannotBeOpened)
{
    SerialTransport transport;
    const LinkStatus status = transport.open(kMissing);
    EXPECT_EQ(status.fault, LinkFault::OpenFailed);
    EXPECT_TRUE(status.reason.startsWith(kMissing + ": ")) << status.reason.toStdString();
    EXPECT_GT(status.reason.size(), (kMissing + ": ").size());
    EXPECT_FALSE(transport.isOpen());
    EXPECT_EQ(transport.write("OFF").fault, LinkFault::LineError);
}

TEST(SerialLine, StartUpEndsOnAmplitudeAndAmplitudeSetArrivesExactlyTerminatedAndPaced)
{
    Simulator sim;
    SerialWindow w(sim.device, true);
    ASSERT_FALSE(w.indicatorShown());
    EXPECT_TRUE(w.panelShown(kAmplitude));
    // Records name the line and the calibrator's own reply.
    EXPECT_EQ(w.h.window->calibratorIdentity(), sim.device + QStringLiteral(", OFF"));
    w.h.window->SendCommand("A 1.0/G 8/WAVE SQ/50R OFF");

    EXPECT_EQ(sim.texts(6), QStringList({R"(FUNC?\n)", R"(OFF\n)", R"(A 1.0\n)", R"(G 8\n)", R"(WAVE SQ\n)", R"(50R OFF\n)"}));
    EXPECT_EQ(sim.raw(), QByteArray("FUNC?\nOFF\nA 1.0\nG 8\nWAVE SQ\n50R OFF\n"));
    const auto lines = sim.received(6);
    ASSERT_EQ(lines.size(), 6u);
    // Each piece is followed by its 50 ms pause; unpaced pieces would
    // arrive within a millisecond or two (leeway for a busy machine).
    for (std::size_t i = 3; i < lines.size(); ++i) {
        const double gap = lines[i].ms - lines[i - 1].ms;
        EXPECT_GE(gap, 30.0) << i;
        EXPECT_LE(gap, 300.0) << i;
    }
    EXPECT_GE(lines[5].ms - lines[2].ms, 140.0);
    // The same pieces as the channel logs.
    EXPECT_EQ(w.h.pieces(), QStringList({"OFF", "A 1.0", "G 8", "WAVE SQ", "50R OFF"}));
    EXPECT_TRUE(w.h.messages.shown.empty());
}

TEST(SerialLine, LineClosedMidCommandEndsInOneReportWithoutHanging)
{
    Simulator sim({"--close-after", "3"});  // FUNC?, OFF, then the first piece
    SerialWindow w(sim.device, true);
    ASSERT_FALSE(w.indicatorShown());

    QElapsedTimer timer;
    timer.start();
    w.h.window->SendCommand("A 1.0/G 8/WAVE SQ/50R OFF");
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(sim.exited(2000));
    EXPECT_EQ(sim.raw(), QByteArray("FUNC?\nOFF\nA 1.0\n"));
    EXPECT_TRUE(w.indicatorShown());
    EXPECT_EQ(w.h.c(QStringLiteral("lblDeviceError")).caption, QStringLiteral("DEVICE ERROR!"));
    // The hang-up shows as a failed read or a failed write, as it falls.
    EXPECT_TRUE(QStringList({"Serial Error|Serial port error: Error reading comm device\r\r"
                             "Please check the data connection and try resetting the unit.",
                             "Serial Error|Serial port error: Input/output error\r\r"
                             "Please check the data connection and try resetting the unit."})
                    .contains(w.onlyReport()))
        << w.onlyReport().toStdString();
    // Every piece was still paced and logged.
    EXPECT_EQ(w.h.pieces().mid(1), QStringList({"A 1.0", "G 8", "WAVE SQ", "50R OFF"}));
    EXPECT_TRUE(w.h.window->form().window().enabled);

    w.h.window->SendCommand("OFF");
    EXPECT_EQ(w.h.messages.shown.size(), 1u);
}

TEST(SerialLine, ClosingTheWindowSwitchesTheOutputOffLastAndLetsTheLineGo)
{
    // A calibrator that stays, and one that hangs up before the closing
    // "OFF": the exit is not held up and reports nothing. The window
    // closed, or the program ending under it (the display gone).
    const struct {
        bool hangsUp;
        bool windowCloses;
    } cases[] = {{false, true}, {true, true}, {false, false}};
    for (const auto [hangsUp, windowCloses] : cases) {
        SCOPED_TRACE(::testing::Message() << "hangs up " << hangsUp << ", window closes " << windowCloses);
        // Entering Frequency sends its start value twice: four pieces, after
        // the identification and the start-up "OFF". The hang-up comes after them.
        Simulator sim(hangsUp ? QStringList{"--close-after", "6"} : QStringList{});
        SerialWindow w(sim.device);
        ASSERT_FALSE(w.indicatorShown());
        w.h.window->form().operatorClick("optFunction", kFrequency);
        const QStringList before = w.h.pieces();
        ASSERT_EQ(before.size(), 5);
        if (hangsUp) {
            EXPECT_TRUE(sim.exited(2000));
        }

        QElapsedTimer timer;
        timer.start();
        if (windowCloses)
            w.h.window->Close();
        else
            w.h.window->SwitchOffAtExit();
        EXPECT_LT(timer.elapsed(), 2500);
        EXPECT_FALSE(w.transport.isOpen());
        w.h.window->SendCommand("A 1.0");  // nothing leaves a closed window
        EXPECT_EQ(w.h.pieces(), before + QStringList{"OFF"});
        EXPECT_TRUE(w.h.messages.shown.empty());

        QByteArray expected = "FUNC?\n";
        for (const QString& piece : w.h.pieces())
            expected += piece.toLatin1() + '\n';
        if (hangsUp) {
            EXPECT_EQ(sim.raw(), expected.left(sim.raw().size()));
            EXPECT_FALSE(sim.raw().endsWith("OFF\nOFF\n"));
        } else {
            sim.texts(static_cast<std::size_t>(1 + w.h.pieces().size()));
            EXPECT_EQ(sim.raw(), expected);
            EXPECT_TRUE(sim.raw().endsWith("F 10000.0\nD 50.0\nOFF\n"));
        }
    }
}

TEST(SerialLine, TheProgramEndedBySignalSwitchesTheOutputOffAsClosingDoes)
{
    // The program itself, beside a settings file of its own, on the
    // offscreen platform; ended as a terminal's Ctrl+C or the session would.
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(number);
        Simulator sim;
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("TarnPilot"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TARN_PILOT_PATH), program));
        QFile settings(dir.filePath(QStringLiteral("TarnApp.ini")));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[Tarn]\r\nTransport=Serial\r\nDevice=" + sim.device.toLocal8Bit() + "\r\n");
        settings.close();

        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        app.setProcessEnvironment(env);
        app.start(program, {});
        ASSERT_TRUE(app.waitForStarted(5000));
        // Start-up: the identification, then, after its pause, Amplitude's "OFF".
        QStringList got;
        for (int i = 0; i < 5 && got.size() < 2; ++i)
            got = sim.texts(2);
        ASSERT_EQ(got, QStringList({R"(FUNC?\n)", R"(OFF\n)"}));
        ::kill(static_cast<pid_t>(app.processId()), number);
        EXPECT_TRUE(app.waitForFinished(5000));
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 0);
        EXPECT_EQ(sim.texts(3), QStringList({R"(FUNC?\n)", R"(OFF\n)", R"(OFF\n)"}));
    }
}

TEST(SerialLine, StartUpEndsOnSetupWithoutTheCalibratorAndApplyReopensTheLine)
{
    Simulator sim;
    SerialWindow w(kMissing);
    ASSERT_TRUE(w.indicatorShown());
    EXPECT_TRUE(w.panelShown(kSetup));
    EXPECT_TRUE(w.onlyReport().startsWith("Setup Error|")) << w.onlyReport().toStdString();
    EXPECT_TRUE(w.onlyReport().contains("Serial port error: /nonexistent/ttyTarn: "));

    w.setDevice(sim.device);
    w.h.window->Apply();
    EXPECT_FALSE(w.indicatorShown());
    w.h.window->Apply();
    w.h.window->SendCommand("OFF");
    EXPECT_EQ(sim.texts(3), QStringList({R"(FUNC?\n)", R"(FUNC?\n)", R"(OFF\n)"}));
    EXPECT_EQ(w.h.messages.shown.size(), 1u);  // the start-up report only
}

TEST(SerialLine, LineLostWhileIdleIsClosedAndReportedAtTheNextCommand)
{
    Simulator sim;
    SerialWindow w(sim.device);
    ASSERT_FALSE(w.indicatorShown());
    sim.kill();
    // The idle program notices the hang-up and lets the port go, rather
    // than being woken by it again and again.
    QElapsedTimer timer;
    timer.start();
    while (w.transport.isOpen() && timer.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(w.transport.isOpen());

    w.h.window->SendCommand("A 1.0/G 8");
    EXPECT_TRUE(w.indicatorShown());
    EXPECT_TRUE(w.onlyReport().startsWith("Serial Error|Serial port error: ")) << w.onlyReport().toStdString();
    w.h.window->SendCommand("OFF");
    EXPECT_EQ(w.h.messages.shown.size(), 1u);
}

TEST(SerialLine, ChatterBetweenExchangesIsNotHeld)
{
    // A device of the test's own on a pseudo-terminal: it answers the
    // identification, then talks without being asked.
    int master = -1;
    int own = -1;
    ASSERT_EQ(::openpty(&master, &own, nullptr, nullptr, nullptr), 0);
    const QString device = QString::fromLocal8Bit(::ptsname(master));
    termios settings{};
    ::tcgetattr(own, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(own, TCSANOW, &settings);
    // Bounded, so that a transport that never asks cannot hang the test.
    std::thread answer([master] {
        if (readUntil(master, "FUNC?\n", 3000).endsWith("FUNC?\n"))
            ::write(master, "OFF\r\n", 5);
    });
    SerialTransport transport;
    const LinkStatus opened = transport.open(device);
    answer.join();
    ASSERT_TRUE(opened.ok()) << opened.reason.toStdString();

    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    const QByteArray chunk(4096, 'x');
    qint64 sent = 0;
    QElapsedTimer timer;
    timer.start();
    while (sent < 1024 * 1024 && timer.elapsed() < 3000) {
        const ssize_t n = ::write(master, chunk.constData(), static_cast<size_t>(chunk.size()));
        if (n > 0)
            sent += n;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_GE(sent, 256 * 1024);
    EXPECT_LT(transport.heldInput(), 64 * 1024) << "of " << sent << " bytes sent";

    // The line still carries the pieces.
    EXPECT_TRUE(transport.write(QStringLiteral("OFF")).ok());
    EXPECT_EQ(readUntil(master, "OFF\n", 2000), QByteArray("OFF\n"));
    transport.close();
    ::close(own);
    ::close(master);
}
