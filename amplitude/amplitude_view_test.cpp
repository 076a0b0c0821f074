#include "app/view/gui_test_harness.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace tarn {
namespace {

using namespace tarn::testing;

TEST(AmplitudeView, OperatorSequenceAndAHeldStepButtonReleasedWhileSending)
{
    GuiHarness h;
    h.start();
    if (::testing::Test::HasFatalFailure())
        return;
    MainWindowView& view = *h.view;
    MainWindow& core = *h.core;
    const auto sent = [&] { return h.sent(); };
    const auto widget = [&](const char* key) {
        QWidget* w = h.widget(QString::fromLatin1(key));
        EXPECT_NE(w, nullptr) << key;
        return w;
    };
    auto* ranges = view.findChild<QListWidget*>(QStringLiteral("lstAmpRanges"));
    ASSERT_NE(ranges, nullptr);
    EXPECT_EQ(sent(), "OFF");

    const struct {
        const char* key;  // a button, or a row of the range list as "row:N"
        const char* sent;
    } steps[] = {
        {"optWave(1)", "A 0.001/G 2/WAVE DC/50R OFF"},
        {"row:3", "A 0.01"},
        {"optGraticules(4)", "G 8"},
        {"optWave(2)", "WAVE SQ"},
        {"cmdDeviation", "A 0.01"},
        {"cmdDevUp", "A 0.010001"},
        {"optWave(0)", "OFF"},
        {"optWave(1)", "A 0.010001/G 8/WAVE DC/50R OFF"},
    };
    for (const auto& step : steps) {
        const QString key = QString::fromLatin1(step.key);
        if (key.startsWith(u"row:")) {
            const QRect row = ranges->visualItemRect(ranges->item(key.mid(4).toInt()));
            QTest::mouseClick(ranges->viewport(), Qt::LeftButton, {}, row.center());
        } else {
            QTest::mouseClick(widget(step.key), Qt::LeftButton);
        }
        EXPECT_EQ(sent(), step.sent) << step.key;
    }
    EXPECT_EQ(static_cast<QLabel*>(widget("lblMainDisplay"))->text(), "10.001 mV/div, 8 div");
    EXPECT_EQ(static_cast<QPushButton*>(widget("cmdDeviation"))->text(), "Deviation ON");

    // Held: it repeats every 500 ms. The release comes while a repetition is
    // being sent; no repetition follows it.
    QWidget* up = widget("cmdDevUp");
    QTest::mousePress(up, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(h.journal.with(QStringLiteral("piece:")).size(), 1, 3000);
    h.pauses.duringNextSleep = [&] { QTest::mouseRelease(up, Qt::LeftButton); };
    QTRY_VERIFY_WITH_TIMEOUT(!core.form()(QStringLiteral("tmrRepeat")).enabled, 3000);
    QTest::qWait(1200);
    EXPECT_EQ(sent(), "A 0.010002/A 0.010003");
    EXPECT_FALSE(view.findChild<QTimer*>(QStringLiteral("tmrRepeat"))->isActive());
    EXPECT_EQ(static_cast<QLabel*>(widget("lblDeviation"))->text(), "+0.03%");

    // On screen the release waits in the queue while the piece is paced and
    // comes out when the busy period ends. The window took no input then:
    // the click that completes the release is lost with it, so the display
    // shows what was sent.
    QTest::mousePress(up, Qt::LeftButton);
    h.pauses.duringNextSleep = [&] {
        QCoreApplication::postEvent(up, new QMouseEvent(QEvent::MouseButtonRelease,
                                                         QPointF(up->rect().center()),
                                                         QPointF(up->mapToGlobal(up->rect().center())),
                                                         Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    };
    QTRY_VERIFY_WITH_TIMEOUT(!core.form()(QStringLiteral("tmrRepeat")).enabled, 3000);
    QTest::qWait(700);
    EXPECT_EQ(sent(), "A 0.010004");
    EXPECT_FALSE(static_cast<QPushButton*>(up)->isDown());
    EXPECT_EQ(static_cast<QLabel*>(widget("lblDeviation"))->text(), "+0.04%");
    EXPECT_EQ(static_cast<QLabel*>(widget("lblMainDisplay"))->text(), "10.004 mV/div, 8 div");
}

} // namespace
} // namespace tarn
