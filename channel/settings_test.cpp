#include "app/test_fakes.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {

int portShownAfterLoading(const std::optional<QString>& stored, const NumberFormat& format = NumberFormat::invariant())
{
    Harness h;
    h.numbers.format = format;
    if (stored)
        h.profile.set(kSettingsPath, *stored);
    h.window->Load();
    EXPECT_EQ(h.window->SerialPortNumber, h.c("cboSerialPort").listIndex + 1);
    return h.c("cboSerialPort").listText().toInt();
}

} // namespace

TEST(Settings, StoredPortIsReadOrPortOne)
{
    EXPECT_EQ(portShownAfterLoading(std::nullopt), 1);
    EXPECT_EQ(portShownAfterLoading("7"), 7);
    EXPECT_EQ(portShownAfterLoading("  4  "), 4);
    EXPECT_EQ(portShownAfterLoading("9"), 9);
    for (const char* bad : {"0", "10", "COM2", "", "-3", "4x", "1e400", "99999999999999999999", "."})
        EXPECT_EQ(portShownAfterLoading(QString(bad)), 1) << bad;
}

TEST(Settings, FractionsRoundHalvesToEven)
{
    EXPECT_EQ(portShownAfterLoading("2.5"), 2);
    EXPECT_EQ(portShownAfterLoading("3.5"), 4);
    EXPECT_EQ(portShownAfterLoading("0.5"), 1);  // rounds to 0: out of range
    EXPECT_EQ(portShownAfterLoading("9.4"), 9);
    EXPECT_EQ(portShownAfterLoading("9.5"), 1);  // rounds to 10

    NumberFormat comma = NumberFormat::invariant();
    comma.decimalSeparator = ",";
    EXPECT_EQ(portShownAfterLoading("3,5", comma), 4);
    EXPECT_EQ(portShownAfterLoading("3.5", comma), 1);  // not a number in this format
}

TEST(Settings, ReadingUsesTheSettingsFileBesideTheProgram)
{
    Harness h;
    h.window->Load();
    EXPECT_EQ(h.profile.lastPath, kSettingsPath);
}

TEST(Settings, ApplyWritesTheChosenPortAndPauses)
{
    Harness h;
    h.start();
    h.window->form().operatorClick("optFunction", kSetup);
    h.window->form().operatorSelectRow("cboSerialPort", kNoIndex, 6);
    h.journal.clear();
    h.window->form().operatorClick("cmdApply");
    EXPECT_EQ(h.profile.stored(kSettingsPath), "7");
    EXPECT_EQ(h.window->SerialPortNumber, 7);
    EXPECT_EQ(h.journal.entries(), QStringList({"pointer:wait", "events", "sleep:2000", "pointer:default", "events"}));
    EXPECT_EQ(h.c("lblMainDisplay").caption, "Tarn Calibrator Setup");
    EXPECT_TRUE(h.pieces().isEmpty());

    // The next start shows port 7.
    Harness next;
    next.profile.values = h.profile.values;
    next.start();
    next.window->form().operatorClick("optFunction", kSetup);
    EXPECT_EQ(next.c("cboSerialPort").listText(), "7");
}

TEST(Settings, ApplyWithoutFileCreatesPortOne)
{
    Harness h;
    h.start();
    h.window->form().operatorClick("optFunction", kSetup);
    h.window->form().operatorClick("cmdApply");
    EXPECT_EQ(h.profile.stored(kSettingsPath), "1");
}

TEST(Settings, UnappliedChoiceIsDiscardedOnReturningToSetup)
{
    Harness h;
    h.profile.set(kSettingsPath, "3");
    h.start();
    h.window->form().operatorClick("optFunction", kSetup);
    h.window->form().operatorSelectRow("cboSerialPort", kNoIndex, 6);
    h.window->form().operatorClick("optFunction", kSetup);
    EXPECT_EQ(h.c("cboSerialPort").listText(), "3");
    EXPECT_FALSE(h.profile.stored(kSettingsPath) == "7");
}

TEST(Settings, FailedWriteKeepsThePortForTheRunAndSaysSo)
{
    Harness h;
    h.start();
    h.profile.failWrites = true;
    h.window->form().operatorClick("optFunction", kSetup);
    h.window->form().operatorSelectRow("cboSerialPort", kNoIndex, 4);
    h.journal.clear();
    h.window->form().operatorClick("cmdApply");
    EXPECT_EQ(h.window->SerialPortNumber, 5);
    EXPECT_FALSE(h.profile.stored(kSettingsPath).has_value());
    ASSERT_EQ(h.messages.shown.size(), 1u);
    EXPECT_EQ(h.messages.shown[0].title, "Warning");
    EXPECT_EQ(h.messages.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(h.messages.shown[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(h.messages.shown[0].text.contains(kSettingsPath));
    EXPECT_EQ(h.sleeps(), QStringList({"2000"}));  // the busy period still follows
}
