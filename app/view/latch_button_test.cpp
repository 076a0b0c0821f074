#include "app/latch_button.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

namespace {

struct Recorder {
    QStringList events;
    void attach(LatchButton& b)
    {
        QObject::connect(&b, &LatchButton::mouseDown, [this](int button) {
            events << QStringLiteral("down:%1").arg(button);
        });
        QObject::connect(&b, &LatchButton::mouseUp, [this] { events << QStringLiteral("up"); });
        QObject::connect(&b, &LatchButton::clicked, [this, &b] {
            events << QStringLiteral("click:%1").arg(b.latchValue());
        });
    }
};

TEST(LatchButton, OperatorClickFlipsTheLatchBeforeClickedArrives)
{
    LatchButton b;
    b.resize(80, 30);
    b.setLatching(true);
    ASSERT_EQ(b.latchValue(), 1);
    Recorder r;
    r.attach(b);

    QTest::mouseClick(&b, Qt::LeftButton);
    QTest::mouseClick(&b, Qt::LeftButton);
    EXPECT_EQ(r.events, (QStringList{"down:1", "up", "click:0", "down:1", "up", "click:1"}));
    EXPECT_EQ(b.property("LatchValue").toInt(), 1);
}

TEST(LatchButton, PlainButtonKeepsItsLatchValue)
{
    LatchButton b;
    b.resize(80, 30);
    Recorder r;
    r.attach(b);
    QTest::mouseClick(&b, Qt::LeftButton);
    EXPECT_EQ(r.events, (QStringList{"down:1", "up", "click:1"}));
}

TEST(LatchButton, SettingTheLatchFromCodeRaisesNothing)
{
    LatchButton b;
    b.setLatching(true);
    QSignalSpy clicked(&b, &LatchButton::clicked);
    QSignalSpy down(&b, &LatchButton::mouseDown);
    QSignalSpy up(&b, &LatchButton::mouseUp);
    b.setLatchValue(0);
    EXPECT_EQ(b.latchValue(), 0);
    b.setProperty("LatchValue", 1);
    EXPECT_EQ(b.latchValue(), 1);
    EXPECT_EQ(clicked.count() + down.count() + up.count(), 0);
}

TEST(LatchButton, OtherMouseButtonsReportPressAndReleaseWithoutAClick)
{
    LatchButton b;
    b.resize(80, 30);
    b.setLatching(true);
    Recorder r;
    r.attach(b);
    QTest::mouseClick(&b, Qt::RightButton);
    QTest::mouseClick(&b, Qt::MiddleButton);
    EXPECT_EQ(r.events, (QStringList{"down:2", "up", "down:4", "up"}));
    EXPECT_EQ(b.latchValue(), 1);  // no click, no flip
}

TEST(LatchButton, ColoursReachTheStyleSheetAndTheLatchedButtonIsDrawnIn)
{
    LatchButton b;
    b.setLatching(true);
    b.setColors(QColor(0, 0, 255), QColor(0, 0, 0));
    EXPECT_TRUE(b.styleSheet().contains("color: #0000ff"));
    EXPECT_TRUE(b.styleSheet().contains("background-color: #000000"));
    const QString released = b.styleSheet();
    b.setLatchValue(0);
    EXPECT_NE(b.styleSheet(), released);
    EXPECT_EQ(b.styleSheet(), buttonStyleSheet(QColor(0, 0, 255), QColor(0, 0, 0), true));
}

} // namespace

namespace {

TEST(ButtonCaption, LongCaptionsBreakAtSpacesToFitTheFace)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(19);
    font.setBold(true);
    const QFontMetrics metrics(font);
    const QString caption = QStringLiteral("    0.1 Hz -    170 kHz");
    const int width = 137;
    ASSERT_GT(metrics.horizontalAdvance(caption), width);

    const QString wrapped = wrapCaption(caption, font, width);
    const QStringList lines = wrapped.split('\n');
    ASSERT_GE(lines.size(), 2);
    for (const QString& line : lines)
        EXPECT_LE(metrics.horizontalAdvance(line), width) << line.toStdString();
    EXPECT_TRUE(lines.first().startsWith("    0.1"));  // leading spaces kept
    EXPECT_EQ(lines.join(' ').simplified(), caption.simplified());

    EXPECT_EQ(wrapCaption(QStringLiteral("Setup"), font, width), "Setup");
    // One word wider than the face stays whole.
    EXPECT_EQ(wrapCaption(QStringLiteral("Wwwwwwwwwwwwwwwwww"), font, 20), "Wwwwwwwwwwwwwwwwww");
}

} // namespace
