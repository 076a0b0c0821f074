#include "app/test_fakes.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {

// A window with the scripted transport built in (unless serialBuilt is
// false) and the given transport key in the settings file (null: none).
struct SerialHarness {
    explicit SerialHarness(const QString& transportKey = QStringLiteral("Serial"), bool serialBuilt = true)
        : h(serialBuilt ? &transport : nullptr)
    {
        if (!transportKey.isNull())
            h.profile.values[{kSettingsPath, QStringLiteral("tarn\ntransport")}] = transportKey;
    }
    bool indicatorShown() { return h.c(QStringLiteral("lblDeviceError")).visible; }
    int panelShown()
    {
        for (int i = 0; i < 5; ++i)
            if (h.c(QStringLiteral("fraFunction"), i).visible)
                return i;
        return -1;
    }

    Journal journal;
    ScriptedTransport transport{journal};
    Harness h;
};

const QString kNotFound = QStringLiteral(
    "The Tarn Calibrator could not be found.\r\rTimeout awaiting valid reply\r\r"
    "Check the following:\r- The device is turned on.\r- The cable is connected properly.\r"
    "- The DIP switches are set correctly.");
const QString kWrongReply = QStringLiteral(
    "The Tarn Calibrator did not give the expected reply.\r\r"
    "Please check the data connection and try resetting the unit.");

} // namespace

// Every start that reaches a calibrator, or the demonstration, ends on the
// amplitude panel without a report; the identification lies inside the
// start-up pause, which is not longer.
TEST(Transport, ChosenBySettingsDemoUnlessSerialIsAsked)
{
    struct Case {
        QString key;  // null: no key in the file
        bool serialBuilt;
        bool serialUsed;
    } cases[] = {
        {QString(), true, false},
        {QStringLiteral("Demo"), true, false},
        {QStringLiteral("Serial"), true, true},
        {QStringLiteral(" serial "), true, true},
        {QStringLiteral("GPIB"), true, false},
        {QStringLiteral("Serial"), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.toStdString());
        SerialHarness s(c.key, c.serialBuilt);
        s.h.start();
        EXPECT_EQ(s.h.window->transport() != nullptr, c.serialUsed);
        EXPECT_EQ(s.journal.with("open:").size(), c.serialUsed ? 1 : 0);
        EXPECT_EQ(s.journal.with("write:"), c.serialUsed ? QStringList{"OFF"} : QStringList{});
        EXPECT_EQ(s.h.pieces(), QStringList{"OFF"});
        EXPECT_EQ(s.h.window->form().window().caption.startsWith(kDemoTitle), !c.serialUsed);
        EXPECT_FALSE(s.indicatorShown());
        EXPECT_EQ(s.panelShown(), kAmplitude);
        EXPECT_TRUE(s.h.messages.shown.empty());
        ASSERT_EQ(s.h.sleeps().size(), 2);
        EXPECT_LE(s.h.sleeps()[0].toInt(), 2000);
        EXPECT_GE(s.h.sleeps()[0].toInt(), 1900);
    }
}

TEST(Transport, DeviceIsTheSavedPortUnlessNamed)
{
    EXPECT_EQ(serialDeviceForPort(1), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(serialDeviceForPort(9), QStringLiteral("/dev/ttyS8"));
    for (const auto& [named, opened] : {std::pair{QString(), "/dev/ttyS2"}, {" /dev/ttyUSB0 ", "/dev/ttyUSB0"}}) {
        SerialHarness s;
        s.h.profile.set(kSettingsPath, QStringLiteral("3"));
        if (!named.isNull())
            s.h.profile.values[{kSettingsPath, QStringLiteral("tarn\ndevice")}] = named;
        s.h.start();
        EXPECT_EQ(s.journal.with("open:"), QStringList{opened});
    }
}

TEST(Transport, ExpectedReplyIsANonEmptyPrintableLine)
{
    for (const char* reply : {"AMPL", "A 0.01"})
        EXPECT_TRUE(isExpectedReply(reply)) << reply;
    for (const char* reply : {"", "AM\x01PL", "\xff\xfe", "A\t1"})
        EXPECT_FALSE(isExpectedReply(reply)) << reply;
}

TEST(Transport, StartUpFaultShowsIndicatorChoosesSetupAndReportsOnceAfterwards)
{
    struct Case {
        LinkStatus status;
        QString title;
        QString text;
    } cases[] = {
        {{LinkFault::NoReply, {}}, "Tarn Calibrator", kNotFound},
        {{LinkFault::WrongReply, "<07>"}, "Tarn Calibrator", kWrongReply},
        {{LinkFault::OpenFailed, "/dev/ttyS0: No such file or directory"}, "Setup Error",
         "There is a problem with your serial port configuration.\r\r"
         "Serial port error: /dev/ttyS0: No such file or directory\r\r"
         "Check that the correct port is selected and that this port is not in use."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        SerialHarness s;
        s.transport.openResult = c.status;
        s.h.start();
        EXPECT_TRUE(s.indicatorShown());
        EXPECT_EQ(s.h.c("lblDeviceError").caption, QStringLiteral("DEVICE ERROR!"));
        EXPECT_EQ(s.panelShown(), kSetup);
        EXPECT_TRUE(s.journal.with("write:").isEmpty());
        ASSERT_EQ(s.h.messages.shown.size(), 1u);
        EXPECT_EQ(s.h.messages.shown[0].title, c.title);
        EXPECT_EQ(s.h.messages.shown[0].text, c.text);
        EXPECT_EQ(s.h.messages.shown[0].icon, MessageIcon::Exclamation);
        // The box comes once the window takes input again.
        EXPECT_EQ(s.h.journal.entries().last(), "message:" + c.title);
        EXPECT_TRUE(s.h.window->form().window().enabled);
    }
}

TEST(Transport, LineErrorStopsWritingButNotPacing)
{
    SerialHarness s;
    s.h.start();
    s.journal.clear();
    s.h.journal.clear();
    s.transport.failWriteAt = 1;
    s.h.window->SendCommand("A 1.0/G 8/WAVE SQ/50R OFF");
    EXPECT_EQ(s.journal.with("write:"), QStringList({"A 1.0", "G 8"}));
    EXPECT_EQ(s.h.pieces(), QStringList({"A 1.0", "G 8", "WAVE SQ", "50R OFF"}));
    EXPECT_EQ(s.h.sleeps().size(), 4);
    EXPECT_TRUE(s.indicatorShown());
    ASSERT_EQ(s.h.messages.shown.size(), 1u);
    EXPECT_EQ(s.h.messages.shown[0].title, QStringLiteral("Serial Error"));
    EXPECT_EQ(s.h.messages.shown[0].text,
              QStringLiteral("Serial port error: Input/output error\r\r"
                             "Please check the data connection and try resetting the unit."));

    // Later commands are paced and logged, not written, and not reported again.
    s.h.window->SendCommand("OFF");
    EXPECT_EQ(s.journal.with("write:").size(), 2);
    EXPECT_EQ(s.h.pieces().last(), QStringLiteral("OFF"));
    EXPECT_EQ(s.h.messages.shown.size(), 1u);
}

TEST(Transport, ApplyReopensTheChosenPortAndClearsTheIndicator)
{
    SerialHarness s;
    s.transport.openResult = {LinkFault::NoReply, {}};
    s.h.start();
    ASSERT_TRUE(s.indicatorShown());

    // A failing Apply reports again.
    s.h.c("cboSerialPort").listIndex = 4;
    s.h.window->Apply();
    EXPECT_EQ(s.journal.with("open:"), QStringList({"/dev/ttyS0", "/dev/ttyS4"}));
    EXPECT_TRUE(s.indicatorShown());
    EXPECT_EQ(s.h.messages.shown.size(), 2u);

    s.transport.openResult = {};
    s.h.journal.clear();
    s.h.window->Apply();
    EXPECT_FALSE(s.indicatorShown());
    EXPECT_EQ(s.h.messages.shown.size(), 2u);
    // The re-opening lies inside Apply's busy period.
    EXPECT_EQ(s.h.journal.entries().first(), "pointer:wait");
    ASSERT_EQ(s.h.sleeps().size(), 1);
    EXPECT_GE(s.h.sleeps()[0].toInt(), 1900);

    s.h.window->SendCommand("OFF");
    EXPECT_EQ(s.journal.with("write:"), QStringList{"OFF"});
}

namespace {

// The command log shows what the line returned and its faults, marked,
// among the pieces.
TEST(Transport, RepliesAndFaultsAreInTheCommandLog)
{
    SerialHarness s;
    s.transport.reply = "TARN V2.1";
    s.transport.failWriteAt = 1;
    s.h.start();
    s.h.window->form().operatorClick("optFunction", kFrequency);
    s.h.window->form().operatorClick("optFreqRange", 1);
    QStringList logged;
    for (const QString& line : s.h.window->commandLog().lines())
        logged << line.mid(14);
    ASSERT_GE(logged.size(), 4);
    EXPECT_EQ(logged[0], "[reply] TARN V2.1");
    EXPECT_EQ(logged.mid(1, 2).join('|'), s.h.pieces().mid(0, 2).join('|'));
    EXPECT_EQ(logged[3], "[fault] line error: Serial port error: Input/output error");
}

} // namespace
