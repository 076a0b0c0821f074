// The frequency keypad in the real window under the offscreen platform,
// with real message boxes.

#include "app/view/gui_test_harness.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace tarn {
namespace {

TEST(TimingView, TypedFrequencyAnswersTheQuestionBoxWithYes)
{
    testing::GuiHarness h({.realMessageBoxes = true});
    h.start();
    if (::testing::Test::HasFatalFailure())
        return;
    MainWindowView& view = *h.view;
    MainWindow& core = *h.core;
    auto click = [&](const QString& key) { h.click(key); };
    auto* display = view.findChild<QLabel*>(QStringLiteral("lblMainDisplay"));
    auto* duty = view.findChild<QLabel*>(QStringLiteral("lblDutyCycleDisplay"));
    ASSERT_NE(display, nullptr);
    ASSERT_NE(duty, nullptr);

    click(QStringLiteral("optFunction(2)"));
    EXPECT_EQ(display->text(), "10.0 kHz");
    EXPECT_EQ(duty->text(), "Duty Cycle: 50.0%");

    click(QStringLiteral("cmdFreqNumber(1)"));
    click(QStringLiteral("cmdFreqNumber(7)"));
    click(QStringLiteral("cmdFreqNumber(0)"));
    EXPECT_EQ(display->text(), "170");

    // 170 kHz is not a whole number of microseconds: the question box,
    // answered Yes, gives the closest frequency.
    testing::SeenBox seen;
    testing::answerNextBox(seen, QMessageBox::Yes);
    click(QStringLiteral("cmdFreqUnits(1)"));
    EXPECT_EQ(seen.title, "Frequency Problem");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.text,
              "It is not possible to achieve this frequency exactly.\n\n"
              "Would you like to use the closest available frequency?");
    EXPECT_EQ(display->text(), "166.6667 kHz");
    EXPECT_EQ(duty->text(), "Duty Cycle: 50.0%");
    EXPECT_TRUE(core.state().OutputSet);
}

} // namespace
} // namespace tarn
