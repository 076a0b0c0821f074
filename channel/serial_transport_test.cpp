// The serial line against tarn-sim on a pseudo-terminal.

#include "app/test_fakes.h"
#include "channel/serial_transport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

using namespace tarn;
using namespace tarn::testing;

namespace {

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
        QElapsedTimer timer;
        timer.start();
        while (!out_.contains('\n') && timer.elapsed() < 5000) {
            process_.waitForReadyRead(100);
            out_ += process_.readAllStandardOutput();
        }
        const qsizetype end = out_.indexOf('\n');
        device = QString::fromLocal8Bit(out_.left(end));
        out_.remove(0, end + 1);
    }
    ~Simulator()
    {
        process_.kill();
        process_.waitForFinished(2000);
    }
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
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            lines.clear();
            for (const QByteArray& text : out_.split('\n')) {
                const auto m = rx.match(QString::fromLatin1(text));
                if (m.hasMatch())
                    lines.push_back({m.captured(1).toDouble(), m.captured(2)});
            }
            if (lines.size() >= count || timer.elapsed() > 2000)
                return lines;
            process_.waitForReadyRead(50);
            out_ += process_.readAllStandardOutput();
        }
    }
    static QStringList texts(const std::vector<Received>& lines)
    {
        QStringList out;
        for (const Received& r : lines)
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
    QTemporaryDir dir_;
    QProcess process_;
    QByteArray out_;
};

// Pauses that really sleep between pieces, so that the pacing reaches the
// line; the long start-up and Apply pauses stay short.
class PiecePauses final : public Pauses {
public:
    explicit PiecePauses(Journal& j) : journal(j) {}
    void sleep(int ms) override
    {
        journal.add(QStringLiteral("sleep:%1").arg(ms));
        if (ms <= 50)
            QThread::msleep(static_cast<unsigned long>(ms));
    }
    Journal& journal;
};

// A main window on the serial line to the given device.
struct SerialWindow {
    explicit SerialWindow(const QString& device, bool realPiecePauses = false)
    {
        h.profile.values[{kSettingsPath, QStringLiteral("tarn\ntransport")}] = QStringLiteral("Serial");
        setDevice(device);
        Services s = h.window->services();
        if (realPiecePauses)
            s.pauses = &pauses;
        window = std::make_unique<MainWindow>(s);
    }
    void setDevice(const QString& device)
    {
        h.profile.values[{kSettingsPath, QStringLiteral("tarn\ndevice")}] = device;
    }
    void start()
    {
        window->Load();
        window->Activated();
    }
    bool indicatorShown() const { return window->form()(QStringLiteral("lblDeviceError")).visible; }
    bool panelShown(int index) const { return window->form()(QStringLiteral("fraFunction"), index).visible; }

    SerialTransport transport;
    Harness h{&transport};
    PiecePauses pauses{h.journal};
    std::unique_ptr<MainWindow> window;
};

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
        EXPECT_EQ(Simulator::texts(sim.received(1)), QStringList{R"(FUNC?\n)"});
        EXPECT_EQ(sim.raw(), QByteArray("FUNC?\n"));
    }
}

TEST(SerialLine, MissingDeviceCannotBeOpened)
{
    SerialTransport transport;
    const LinkStatus status = transport.open(QStringLiteral("/nonexistent/ttyTarn"));
    EXPECT_EQ(status.fault, LinkFault::OpenFailed);
    EXPECT_TRUE(status.reason.startsWith("/nonexistent/ttyTarn: ")) << status.reason.toStdString();
    EXPECT_GT(status.reason.size(), QStringLiteral("/nonexistent/ttyTarn: ").size());
    EXPECT_FALSE(transport.isOpen());
    EXPECT_EQ(transport.write("OFF").fault, LinkFault::LineError);
}

TEST(SerialLine, AmplitudeSetArrivesExactlyTerminatedAndPaced)
{
    Simulator sim;
    SerialWindow w(sim.device, true);
    w.start();
    ASSERT_FALSE(w.indicatorShown());
    w.window->SendCommand("A 1.0/G 8/WAVE SQ/50R OFF");

    const auto lines = sim.received(6);
    EXPECT_EQ(Simulator::texts(lines),
              QStringList({R"(FUNC?\n)", R"(OFF\n)", R"(A 1.0\n)", R"(G 8\n)", R"(WAVE SQ\n)", R"(50R OFF\n)"}));
    EXPECT_EQ(sim.raw(), QByteArray("FUNC?\nOFF\nA 1.0\nG 8\nWAVE SQ\n50R OFF\n"));
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
    w.start();
    ASSERT_FALSE(w.indicatorShown());

    QElapsedTimer timer;
    timer.start();
    w.window->SendCommand("A 1.0/G 8/WAVE SQ/50R OFF");
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(sim.exited(2000));
    EXPECT_EQ(sim.raw(), QByteArray("FUNC?\nOFF\nA 1.0\n"));
    EXPECT_TRUE(w.indicatorShown());
    EXPECT_EQ(w.window->form()(QStringLiteral("lblDeviceError")).caption, QStringLiteral("DEVICE ERROR!"));
    ASSERT_EQ(w.h.messages.shown.size(), 1u);
    EXPECT_EQ(w.h.messages.shown[0].title, QStringLiteral("Serial Error"));
    // The hang-up shows as a failed read or a failed write, as it falls.
    const QString text = w.h.messages.shown[0].text;
    EXPECT_TRUE(text == "Serial port error: Error reading comm device\r\r"
                        "Please check the data connection and try resetting the unit." ||
                text == "Serial port error: Input/output error\r\r"
                        "Please check the data connection and try resetting the unit.")
        << text.toStdString();
    // Every piece was still paced and logged.
    EXPECT_EQ(w.h.pieces().mid(1), QStringList({"A 1.0", "G 8", "WAVE SQ", "50R OFF"}));
    EXPECT_TRUE(w.window->form().window().enabled);

    w.window->SendCommand("OFF");
    EXPECT_EQ(w.h.messages.shown.size(), 1u);
}

TEST(SerialLine, StartUpEndsOnSetupWithoutTheCalibratorAndOnAmplitudeWithIt)
{
    SerialWindow absent(QStringLiteral("/nonexistent/ttyTarn"));
    absent.start();
    EXPECT_TRUE(absent.indicatorShown());
    EXPECT_TRUE(absent.panelShown(kSetup));
    ASSERT_EQ(absent.h.messages.shown.size(), 1u);
    EXPECT_EQ(absent.h.messages.shown[0].title, QStringLiteral("Setup Error"));
    EXPECT_TRUE(absent.h.messages.shown[0].text.contains("Serial port error: /nonexistent/ttyTarn: "));

    Simulator sim;
    SerialWindow present(sim.device);
    present.start();
    EXPECT_FALSE(present.indicatorShown());
    EXPECT_TRUE(present.panelShown(kAmplitude));
    EXPECT_TRUE(present.h.messages.shown.empty());
    EXPECT_EQ(Simulator::texts(sim.received(2)), QStringList({R"(FUNC?\n)", R"(OFF\n)"}));
}

TEST(SerialLine, ApplyReopensTheLine)
{
    Simulator sim;
    SerialWindow w(QStringLiteral("/nonexistent/ttyTarn"));
    w.start();
    ASSERT_TRUE(w.indicatorShown());

    w.setDevice(sim.device);
    w.window->Apply();
    EXPECT_FALSE(w.indicatorShown());
    w.window->Apply();
    w.window->SendCommand("OFF");
    EXPECT_EQ(Simulator::texts(sim.received(3)), QStringList({R"(FUNC?\n)", R"(FUNC?\n)", R"(OFF\n)"}));
    EXPECT_EQ(w.h.messages.shown.size(), 1u);  // the start-up report only
}

TEST(SerialLine, LineLostWhileIdleIsClosedAndReportedAtTheNextCommand)
{
    Simulator sim;
    SerialWindow w(sim.device);
    w.start();
    ASSERT_FALSE(w.indicatorShown());
    sim.kill();
    // The idle program notices the hang-up and lets the port go, rather
    // than being woken by it again and again.
    QElapsedTimer timer;
    timer.start();
    while (w.transport.isOpen() && timer.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(w.transport.isOpen());

    w.window->SendCommand("A 1.0/G 8");
    EXPECT_TRUE(w.indicatorShown());
    ASSERT_EQ(w.h.messages.shown.size(), 1u);
    EXPECT_EQ(w.h.messages.shown[0].title, QStringLiteral("Serial Error"));
    EXPECT_TRUE(w.h.messages.shown[0].text.startsWith("Serial port error: "));
    w.window->SendCommand("OFF");
    EXPECT_EQ(w.h.messages.shown.size(), 1u);
}

TEST(SerialLine, ChatterBetweenExchangesIsNotHeld)
{
    // A device of the test's own on a pseudo-terminal: it answers the
    // identification, then talks without being asked.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString device = QString::fromLocal8Bit(::ptsname(master));
    const int own = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(own, 0);
    termios settings{};
    ::tcgetattr(own, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(own, TCSANOW, &settings);
    std::thread answer([master] {
        // Bounded, so that a transport that never asks cannot hang the test.
        QByteArray asked;
        char c = 0;
        pollfd watch{master, POLLIN, 0};
        while (!asked.endsWith("FUNC?\n") && ::poll(&watch, 1, 3000) == 1 && ::read(master, &c, 1) == 1)
            asked += c;
        if (asked.endsWith("FUNC?\n"))
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
    QByteArray tail;
    char buffer[4096];
    timer.restart();
    while (!tail.endsWith("OFF\n") && timer.elapsed() < 2000) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0)
            tail += QByteArray(buffer, n);
        else
            QThread::msleep(5);
    }
    EXPECT_EQ(tail, QByteArray("OFF\n"));
    transport.close();
    ::close(own);
    ::close(master);
}
