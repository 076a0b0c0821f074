#include "app/command_line.h"
#include "app/view/gui_test_harness.h"
#include "app/view/other_windows.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBrowser>

namespace tarn {
namespace {

using tarn::testing::GuiHarness;

// A key typed where the keyboard focus is, as the operator types it.
void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(static_cast<QWidget*>(nullptr), key, modifiers);
}

QString display(GuiHarness& g)
{
    return g.widget<QLabel>("lblMainDisplay")->text();
}

TEST(KeyboardView, TypedFrequencyGivesThePiecesOfClicks)
{
    QString typedPieces, typedDisplay;
    {
        GuiHarness g;
        g.start();
        g.click("optFunction(2)");
        g.sent();
        for (Qt::Key k : {Qt::Key_1, Qt::Key_2, Qt::Key_Period, Qt::Key_5, Qt::Key_H})
            type(k);
        typedPieces = g.sent();
        typedDisplay = display(g);
        // With the value shown, Backspace must not switch the output off.
        type(Qt::Key_Backspace);
        EXPECT_EQ(g.sent(), "");
        EXPECT_EQ(display(g), typedDisplay);
        // The window is fixed in size: no maximise button.
        EXPECT_FALSE(g.view->windowFlags() & Qt::WindowMaximizeButtonHint);
    }
    GuiHarness g;
    g.start();
    g.click("optFunction(2)");
    g.sent();
    for (const char* key : {"cmdFreqNumber(1)", "cmdFreqNumber(2)", "cmdFreqNumber(21)", "cmdFreqNumber(5)",
                            "cmdFreqUnits(0)"})
        g.click(key);
    EXPECT_FALSE(typedPieces.isEmpty());
    EXPECT_EQ(typedPieces, g.sent());
    EXPECT_EQ(typedDisplay, display(g));
}

TEST(KeyboardView, HeldArrowStepsOncePerPressAndRepeatAndStopsOnRelease)
{
    GuiHarness g;
    g.start();
    g.click("cmdDeviation");
    auto* list = g.widget<QListWidget>("lstAmpRanges");
    list->setFocus();
    const int row = list->currentRow();
    // The press, three automatic repeats, the release: four steps of 0.01 %.
    for (bool repeat : {false, true, true, true}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), repeat);
        QApplication::sendEvent(list, &press);
    }
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(list, &release);
    EXPECT_EQ(g.widget<QLabel>("lblDeviation")->text(), "+0.04%");
    QTest::qWait(1200);  // longer than two repeat periods
    EXPECT_EQ(g.widget<QLabel>("lblDeviation")->text(), "+0.04%");
    EXPECT_EQ(list->currentRow(), row);
}

TEST(KeyboardView, EnterInTheRiseTimeCalculates)
{
    GuiHarness g;
    g.start();
    g.click("optFunction(1)");
    ASSERT_EQ(QApplication::focusWidget(), g.widget("txtRiseTime"));
    type(Qt::Key_1);  // the text box keeps its digits
    type(Qt::Key_Return);
    EXPECT_EQ(g.widget<QLineEdit>("txtRiseTime")->text(), "1");
    EXPECT_EQ(display(g), "Bandwidth: 370 MHz");
}

TEST(CommandLogWindow, ListsTheChannelLogFollowsItAndKeepsTheLastLines)
{
    GuiHarness g;
    g.start();
    g.click("optFunction(2)");
    const QString mainDisplay = display(g);
    type(Qt::Key_L, Qt::ControlModifier);
    CommandLogWindow* log = g.windows.commandLog();
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->objectName(), "frmCommandLog");
    EXPECT_EQ(display(g), mainDisplay);

    g.sent();
    g.click("optFreqRange(1)");
    g.click("cmd2MHz");
    const QStringList pieces = g.sent().split('/');
    const QStringList lines = log->shownText().split('\n');
    QStringList tail = lines.mid(lines.size() - pieces.size());
    for (QString& line : tail)
        line = line.mid(14);  // after "hh:mm:ss.zzz  "
    EXPECT_EQ(tail, pieces);

    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    ASSERT_TRUE(log->saveTo(path));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), log->shownText() + '\n');
    log->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), log->shownText() + '\n');

    g.click("optFunction(4)");
    g.click("cmdCommandLog");  // the same window again
    EXPECT_EQ(g.windows.commandLog(), log);
    QTest::mouseClick(log->findChild<QWidget*>("cmdClear"), Qt::LeftButton);
    EXPECT_EQ(log->shownText(), "");
    const int total = static_cast<int>(CommandLog::kCapacity) + 10;
    for (int i = 0; i < total; ++i)
        g.core->commandLog().add(LogEntry::Piece, QString::number(i));
    const QStringList shown = log->shownText().split('\n');
    EXPECT_EQ(shown.size(), static_cast<int>(CommandLog::kCapacity));
    EXPECT_TRUE(shown.front().endsWith("  10"));
    EXPECT_TRUE(shown.back().endsWith("  " + QString::number(total - 1)));
}

TEST(GuideWindow, F1OpensTheGuideWhoseAboutNamesVersionQtAndLicence)
{
    GuiHarness g;
    g.start();
    type(Qt::Key_F1);
    GuideWindow* guide = g.windows.guide();
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->isVisible());
    const QString text = guide->findChild<QTextBrowser*>("txtGuide")->toPlainText();
    for (const char* part : {"Ctrl+L", "Backspace", "TarnApp.ini", "Serial Port"})
        EXPECT_TRUE(text.contains(part)) << part;
    QTest::mouseClick(guide->findChild<QWidget*>("cmdAbout"), Qt::LeftButton);
    ASSERT_FALSE(g.messages.shown.empty());
    const MessageRequest about = g.messages.shown.back();
    EXPECT_EQ(about.title, "About TarnPilot");
    EXPECT_TRUE(about.text.contains("TarnPilot " + VersionText()));
    EXPECT_TRUE(about.text.contains(qVersion()));
    EXPECT_TRUE(about.text.contains("Licence: Proprietary; all rights reserved."));
}

} // namespace
} // namespace tarn
