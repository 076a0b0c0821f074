#include "app/test_fakes.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {

QStringList split(const QString& command)
{
    QStringList pieces;
    QString piece;
    QString remainder = command;
    do {
        MainWindow::NextCommandPiece(piece, remainder);
        pieces << piece;
    } while (!remainder.isEmpty());
    return pieces;
}

} // namespace

TEST(CommandPieces, SplitAtEachSlash)
{
    EXPECT_EQ(split("A 1.0/G 8/WAVE SQ"), QStringList({"A 1.0", "G 8", "WAVE SQ"}));
    EXPECT_EQ(split("OFF"), QStringList({"OFF"}));
    EXPECT_EQ(split("X/"), QStringList({"X"}));
    EXPECT_EQ(split("/X"), QStringList({"", "X"}));
    EXPECT_EQ(split("X//Y"), QStringList({"X", "", "Y"}));
    EXPECT_EQ(split(""), QStringList({""}));
}

TEST(CommandPieces, EmptyRemainderGivesEmptyPiece)
{
    QString piece = "old";
    QString remainder;
    MainWindow::NextCommandPiece(piece, remainder);
    EXPECT_TRUE(piece.isEmpty());
    EXPECT_TRUE(remainder.isEmpty());
}

TEST(CommandChannel, EachPieceIsLoggedAndPacedInsideOneBusyPeriod)
{
    Harness h;
    h.journal.clear();
    h.window->SendCommand("A 1.0/G 8/WAVE SQ");
    EXPECT_EQ(h.journal.entries(),
              QStringList({"pointer:wait", "events", "piece:A 1.0", "sleep:50", "piece:G 8", "sleep:50",
                           "piece:WAVE SQ", "sleep:50", "pointer:default", "events"}));
    EXPECT_TRUE(h.window->form().window().enabled);
}

TEST(CommandChannel, WindowIsDisabledWhilePiecesArePaced)
{
    Harness h;
    bool enabledDuringPause = true;
    struct Probe final : Pauses {
        MainWindow* w = nullptr;
        bool* seen = nullptr;
        void sleep(int) override { *seen = *seen && w->form().window().enabled; }
    } probe;
    Services s = h.window->services();
    s.pauses = &probe;
    MainWindow w(s);
    probe.w = &w;
    probe.seen = &enabledDuringPause;
    w.SendCommand("OFF");
    EXPECT_FALSE(enabledDuringPause);
    EXPECT_TRUE(w.form().window().enabled);
}

TEST(CommandChannel, EmptyAndSlashOnlyCommandsStillPause)
{
    Harness h;
    h.journal.clear();
    h.window->SendCommand("");
    EXPECT_EQ(h.pieces(), QStringList({""}));
    EXPECT_EQ(h.sleeps(), QStringList({"50"}));

    h.journal.clear();
    h.window->SendCommand("/X");
    EXPECT_EQ(h.pieces(), QStringList({"", "X"}));
    EXPECT_EQ(h.sleeps().size(), 2);
}

TEST(CommandChannel, SuppressedWhileLoading)
{
    Harness h;
    h.window->state().SuppressSend = true;
    h.journal.clear();
    h.window->form().window().enabled = true;
    h.window->SendCommand("OFF");
    EXPECT_TRUE(h.journal.entries().isEmpty());
    EXPECT_FALSE(h.busy.wait);
    EXPECT_TRUE(h.window->form().window().enabled);
}

TEST(CommandChannel, NestedSendLeavesWindowEnabled)
{
    // A send that runs inside another (through the message processing of
    // the busy indication) re-enables the window at its end, and the outer
    // send ends enabled too.
    Harness h;
    struct Nesting final : BusyIndication {
        MainWindow* w = nullptr;
        Journal* j = nullptr;
        bool nested = false;
        void setWaitPointer(bool wait) override { j->add(wait ? "pointer:wait" : "pointer:default"); }
        void processEvents() override
        {
            if (!nested && w) {
                nested = true;
                w->SendCommand("INNER");
                j->add(QStringLiteral("after-inner-enabled:%1").arg(w->form().window().enabled));
            }
        }
    } nesting;
    Services s = h.window->services();
    s.busy = &nesting;
    MainWindow w(s);
    nesting.w = &w;
    nesting.j = &h.journal;
    h.journal.clear();
    w.SendCommand("OUTER");
    EXPECT_EQ(h.pieces(), QStringList({"INNER", "OUTER"}));
    EXPECT_TRUE(h.journal.entries().contains("after-inner-enabled:1"));
    EXPECT_TRUE(w.form().window().enabled);
    EXPECT_EQ(h.journal.entries().last(), "pointer:default");
}
