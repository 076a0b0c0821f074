#include "app/latch_button.h"
#include "app/main_window.h"
#include "app/view/gui_test_harness.h"
#include "app/view/main_window_view.h"
#include "app/view/pictures.h"
#include "app/view/qt_services.h"
#include "app/view/view_support.h"
#include "channel/ini_profile_store.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <map>
#include <memory>

namespace tarn {
namespace {

using tarn::testing::GuiHarness;

// The program with its settings file in a temporary folder.
class ViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
    }

    void start(bool activate = true) { gui.start(activate); }

    template <typename T = QWidget>
    T* widget(const QString& key) const
    {
        return gui.widget<T>(key);
    }

    void click(const QString& key) { gui.click(key); }

    QString iniPath() const { return folder.filePath(QStringLiteral("TarnApp.ini")); }

    QTemporaryDir folder;
    IniProfileStore profile;
    GuiHarness gui{{.profile = &profile, .folder = folder.path()}};
    std::unique_ptr<MainWindow>& core = gui.core;
    std::unique_ptr<MainWindowView>& view = gui.view;
    tarn::testing::Journal& journal = gui.journal;
};

bool hasWidget(Kind kind)
{
    return kind != Kind::Window && kind != Kind::Line && kind != Kind::Shape
           && kind != Kind::Timer;
}

QRect twipsRect(const Control& c)
{
    auto px = [](int twips) { return qRound(twips / 15.0); };
    return QRect(px(c.left), px(c.top), px(c.width), px(c.height));
}

TEST_F(ViewTest, EveryControlIsAWidgetAtItsPlaceInItsContainer)
{
    start(false);
    const FormModel& form = core->form();
    EXPECT_EQ(view->size(), QSize(530, 457));
    EXPECT_EQ(view->objectName(), "frmMain");
    int checked = 0;
    for (int id = 1; id < form.size(); ++id) {
        const Control& c = form.at(id);
        const QString key = FormModel::key(c);
        if (c.kind == Kind::Timer) {
            QTimer* timer = view->findChild<QTimer*>(key);
            ASSERT_NE(timer, nullptr) << key.toStdString();
            EXPECT_EQ(timer->interval(), c.interval);
            EXPECT_EQ(timer->isActive(), c.enabled);
            continue;
        }
        if (!hasWidget(c.kind))
            continue;
        QWidget* w = widget(key);
        ASSERT_NE(w, nullptr) << key.toStdString();
        const QString container = c.parent <= 0 ? QStringLiteral("frmMain")
                                                : FormModel::key(form.at(c.parent));
        EXPECT_EQ(w->parentWidget()->objectName(), container) << key.toStdString();
        if (c.kind != Kind::SerialPort) {
            EXPECT_EQ(w->geometry(), twipsRect(c)) << key.toStdString();
            EXPECT_EQ(w->isVisibleTo(view.get()), form.shown(id)) << key.toStdString();
        }
        if (!c.toolTip.isEmpty()) {
            EXPECT_EQ(w->toolTip(), c.toolTip) << key.toStdString();
        }
        ++checked;
    }
    EXPECT_GT(checked, 100);

    // Kinds of widget and a few designed properties.
    EXPECT_NE(widget<LatchButton>("cmdFreqNumber(21)"), nullptr);
    EXPECT_NE(widget<LatchButton>("cmdDutyCycle(1)"), nullptr);
    auto* option = widget<QPushButton>("optFunction(4)");
    ASSERT_NE(option, nullptr);
    EXPECT_TRUE(option->isCheckable());
    EXPECT_EQ(option->text(), "Setup");
    EXPECT_EQ(option->font().pixelSize(), 16);  // 12 pt at 96 dots per inch
    EXPECT_TRUE(option->font().bold());
    EXPECT_NE(widget<QLabel>("lblMainDisplay"), nullptr);
    EXPECT_EQ(widget<QLabel>("lblMainDisplay")->font().pixelSize(), 35);
    EXPECT_NE(widget<QListWidget>("lstAmpRanges"), nullptr);
    EXPECT_EQ(widget<QListWidget>("lstAmpRanges")->count(), 15);
    EXPECT_EQ(widget<QComboBox>("cboSerialPort")->count(), 9);
    EXPECT_NE(widget<QLineEdit>("txtRiseTime"), nullptr);
    ASSERT_NE(widget<view::PictureWidget>("imgFastRise"), nullptr);
    ASSERT_NE(widget<view::PictureWidget>("imgArrow"), nullptr);
    // The serial list lies over the bus address list in the same place.
    QWidget* serial = widget("cboSerialPort");
    EXPECT_EQ(serial->parentWidget()->childAt(serial->geometry().center()), serial);
}

// Anything that reads the controls sees the captions the program set: a
// long button caption is broken only where it is drawn, and a frame's
// caption is its title and accessible name.
TEST_F(ViewTest, ControlsExposeTheirCaptionsUnchanged)
{
    start(false);
    FormModel& form = core->form();
    QStringList captionedFrames;
    int buttons = 0;
    for (int id = 1; id < form.size(); ++id) {
        const Control& c = form.at(id);
        const QString key = FormModel::key(c);
        if (c.kind == Kind::OptionButton || c.kind == Kind::CommandButton) {
            EXPECT_EQ(widget<QPushButton>(key)->text(), c.caption) << key.toStdString();
            ++buttons;
        } else if (c.kind == Kind::Frame) {
            EXPECT_EQ(widget(key)->property("title").toString(), c.caption) << key.toStdString();
            EXPECT_EQ(widget(key)->accessibleName(), c.caption) << key.toStdString();
            if (!c.caption.isEmpty())
                captionedFrames << key;
        }
    }
    EXPECT_GT(buttons, 50);
    EXPECT_EQ(captionedFrames.size(), 9) << captionedFrames.join(' ').toStdString();
    EXPECT_EQ(widget("fraGraticules")->property("title").toString(),
              form(QStringLiteral("fraGraticules")).caption);

    form(QStringLiteral("fraLowFreq")).caption = QStringLiteral("Renamed");
    view->sync();
    EXPECT_EQ(widget("fraLowFreq")->property("title").toString(), "Renamed");
    EXPECT_EQ(widget("fraLowFreq")->accessibleName(), "Renamed");

    // The caption is still drawn broken to fit: as a button showing the
    // broken lines as its text would draw it.
    auto* wave = widget<QPushButton>("optWave(2)");
    ASSERT_EQ(wave->text(), "1 kHz Square");
    const auto drawnAs = [wave](QPushButton& twin, const QString& text) {
        twin.setParent(wave->parentWidget());
        twin.setGeometry(wave->geometry());
        twin.setFont(wave->font());
        twin.setStyleSheet(wave->styleSheet());
        twin.setCheckable(true);
        twin.setChecked(wave->isChecked());
        twin.setText(text);
        return twin.grab().toImage();
    };
    CaptionButton broken;
    QPushButton unbroken;
    EXPECT_EQ(drawnAs(broken, "1 kHz\nSquare"), wave->grab().toImage());
    EXPECT_NE(drawnAs(unbroken, wave->text()), wave->grab().toImage());
}

TEST_F(ViewTest, StartUpTitleAndAmplitudePanel)
{
    start();
    EXPECT_TRUE(view->windowTitle().startsWith(QString::fromUtf8(kDemoTitle) + "  V"));
    EXPECT_TRUE(journal.entries().contains("sleep:2000"));
    EXPECT_TRUE(widget("fraFunction(0)")->isVisible());
    EXPECT_TRUE(widget<QPushButton>("optFunction(0)")->isChecked());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // busy periods all ended
}

TEST_F(ViewTest, ClickingAFunctionShowsOnlyItsPanel)
{
    start();
    for (int chosen : {1, 2, 3, 4, 0, 4}) {
        click(QStringLiteral("optFunction(%1)").arg(chosen));
        for (int i = 0; i < 5; ++i) {
            const bool mine = i == chosen;
            EXPECT_EQ(widget(QStringLiteral("fraFunction(%1)").arg(i))->isVisible(), mine)
                << "chosen " << chosen << " panel " << i;
            EXPECT_EQ(widget<QPushButton>(QStringLiteral("optFunction(%1)").arg(i))->isChecked(),
                      mine)
                << "chosen " << chosen << " option " << i;
        }
    }
}

TEST_F(ViewTest, FastRiseShowsTheTwoLinePromptAndFocusesTheEntry)
{
    start();
    click(QStringLiteral("optFunction(1)"));
    EXPECT_EQ(widget<QLabel>("lblMainDisplay")->text(), "Enter measured\nrise time");
    EXPECT_EQ(QApplication::focusWidget(), widget("txtRiseTime"));

    // Away and back again: the entry gets the focus once more.
    click(QStringLiteral("optFunction(0)"));
    EXPECT_NE(QApplication::focusWidget(), widget("txtRiseTime"));
    click(QStringLiteral("optFunction(1)"));
    EXPECT_EQ(QApplication::focusWidget(), widget("txtRiseTime"));
}

TEST_F(ViewTest, SetupShowsTheSavedPortAndApplyWritesTheChoice)
{
    {
        QFile ini(iniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Tarn]\r\nSerial Port=3\r\n");
    }
    start();
    click(QStringLiteral("optFunction(4)"));
    auto* combo = widget<QComboBox>("cboSerialPort");
    ASSERT_TRUE(combo->isVisible());
    EXPECT_EQ(combo->currentText(), "3");

    // The operator picks port 5, then applies.
    combo->setCurrentIndex(4);
    emit combo->activated(4);
    journal.clear();
    click(QStringLiteral("cmdApply"));
    EXPECT_TRUE(journal.entries().contains("sleep:2000"));
    EXPECT_EQ(core->SerialPortNumber, 5);
    EXPECT_EQ(profile.readString("Tarn", "Serial Port", "", 256, iniPath()), "5");

    // A choice not applied is discarded on the next visit.
    combo->setCurrentIndex(7);
    emit combo->activated(7);
    click(QStringLiteral("optFunction(0)"));
    click(QStringLiteral("optFunction(4)"));
    EXPECT_EQ(combo->currentText(), "5");
}

TEST_F(ViewTest, SyncMirrorsTheModel)
{
    start();
    FormModel& form = core->form();
    form(QStringLiteral("lblMainDisplay")).caption = QStringLiteral("one\rtwo");
    form(QStringLiteral("lblDeviceError")).visible = true;
    form(QStringLiteral("optWave"), 2).caption = QStringLiteral("Square");
    form(QStringLiteral("cmd50Ohm")).latchValue = 0;
    form(QStringLiteral("cmd50Ohm")).back = colors::red;
    form(QStringLiteral("tmrRepeat")).enabled = true;
    form(QStringLiteral("lstAmpRanges")).listIndex = 9;
    form(QStringLiteral("imgArrow")).left = 3690;
    form.window().caption = QStringLiteral("Changed");
    view->sync();

    EXPECT_EQ(widget<QLabel>("lblMainDisplay")->text(), "one\ntwo");
    EXPECT_TRUE(widget("lblDeviceError")->isVisible());
    EXPECT_EQ(widget<QPushButton>("optWave(2)")->text(), "Square");
    EXPECT_EQ(widget<LatchButton>("cmd50Ohm")->latchValue(), 0);
    EXPECT_EQ(widget<LatchButton>("cmd50Ohm")->backColor(), QColor(255, 0, 0));
    EXPECT_TRUE(view->findChild<QTimer*>("tmrRepeat")->isActive());
    EXPECT_EQ(widget<QListWidget>("lstAmpRanges")->currentRow(), 9);
    EXPECT_EQ(widget("imgArrow")->x(), 246);
    EXPECT_EQ(view->windowTitle(), "Changed");

    form(QStringLiteral("tmrRepeat")).enabled = false;
    view->sync();
    EXPECT_FALSE(view->findChild<QTimer*>("tmrRepeat")->isActive());
}

TEST_F(ViewTest, InputIsDiscardedWhileTheWindowIsDisabled)
{
    start();
    FormModel& form = core->form();
    form.window().enabled = false;
    view->sync();
    click(QStringLiteral("optFunction(2)"));
    EXPECT_TRUE(widget("fraFunction(0)")->isVisible());
    EXPECT_FALSE(widget("fraFunction(2)")->isVisible());
    EXPECT_FALSE(widget<QPushButton>("optFunction(2)")->isChecked());

    // A click that waited in the queue while the window was shut is
    // discarded when the window opens again, not acted on late.
    QWidget* frequency = widget("optFunction(2)");
    const QPointF inside(frequency->rect().center());
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(frequency,
                                    new QMouseEvent(type, inside, frequency->mapToGlobal(inside),
                                                    Qt::LeftButton,
                                                    type == QEvent::MouseButtonPress ? Qt::LeftButton
                                                                                     : Qt::NoButton,
                                                    Qt::NoModifier));
    form.window().enabled = true;
    view->sync();
    QCoreApplication::processEvents();
    EXPECT_FALSE(widget("fraFunction(2)")->isVisible());
    EXPECT_FALSE(widget<QPushButton>("optFunction(2)")->isChecked());

    click(QStringLiteral("optFunction(2)"));
    EXPECT_TRUE(widget("fraFunction(2)")->isVisible());
}

TEST_F(ViewTest, ClosingSwitchesTheOutputOffOnceTheCommandInHandHasGone)
{
    start();
    click(QStringLiteral("optFunction(2)"));
    gui.sent();
    QSignalSpy closed(view.get(), &MainWindowView::closed);
    // While a command is being sent the close waits for it.
    core->form().window().enabled = false;
    view->sync();
    EXPECT_FALSE(view->close());
    EXPECT_EQ(gui.sent(), QString());
    core->form().window().enabled = true;
    view->sync();
    EXPECT_TRUE(closed.wait(2000));
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(gui.sent(), QStringLiteral("OFF"));
}

TEST_F(ViewTest, AWindowDestroyedByTheWindowSystemEndsTheProgramAsAClose)
{
    start();
    click(QStringLiteral("optFunction(3)"));
    gui.sent();
    QSignalSpy closed(view.get(), &MainWindowView::closed);
    // An X11 DestroyNotify: code 17, the window at byte 8; another window's is ignored.
    unsigned char event[32] = {17};
    for (const quint32 window : {quint32(view->winId()) + 1, quint32(view->winId())}) {
        std::memcpy(event + 8, &window, sizeof window);
        view->nativeEventFilter("xcb_generic_event_t", event, nullptr);
    }
    EXPECT_TRUE(closed.wait(2000));
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(gui.sent(), QStringLiteral("OFF"));
}

TEST_F(ViewTest, ButtonNotificationsReachTheModelAndABusyReleaseIsKept)
{
    start();
    FormModel& form = core->form();
    // A press starts repetition and a release stops it, as for the step buttons.
    QStringList seen;
    form.onMouseDown("cmdDevUp", [&](int, int button) {
        seen << QStringLiteral("down:%1").arg(button);
        form("tmrRepeat").enabled = true;
    });
    form.onMouseUp("cmdDevUp", [&](int) {
        seen << "up";
        form("tmrRepeat").enabled = false;
    });
    form.onClick("cmdDevUp", [&](int) { seen << "click"; });
    form("fraDeviation").visible = true;
    form("cmdDevUp").visible = true;
    view->sync();
    QWidget* up = widget("cmdDevUp");
    ASSERT_TRUE(up->isVisible());

    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(seen, (QStringList{"down:1", "up", "click"}));

    seen.clear();
    QTest::mousePress(up, Qt::LeftButton);
    ASSERT_TRUE(view->findChild<QTimer*>("tmrRepeat")->isActive());
    // The release arrives while the window is busy: the click is lost, the
    // release is delivered once the window takes input again.
    form.window().enabled = false;
    view->sync();
    QTest::mouseRelease(up, Qt::LeftButton);
    EXPECT_EQ(seen, (QStringList{"down:1"}));
    EXPECT_TRUE(form("tmrRepeat").enabled);

    form.window().enabled = true;
    view->sync();
    QTRY_COMPARE_WITH_TIMEOUT(seen, (QStringList{"down:1", "up"}), 1000);
    EXPECT_FALSE(view->findChild<QTimer*>("tmrRepeat")->isActive());
}

TEST_F(ViewTest, OperatorChoicesAndTypingReachTheModel)
{
    start();
    FormModel& form = core->form();
    QList<int> rowsClicked;
    form.onClick("lstAmpRanges", [&](int) { rowsClicked << form("lstAmpRanges").listIndex; });
    auto* list = widget<QListWidget>("lstAmpRanges");
    list->setFocus();
    EXPECT_TRUE(rowsClicked.isEmpty());  // taking the focus chooses nothing

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(3)).center());
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(rowsClicked, (QList<int>{3, 4}));
    EXPECT_EQ(form("lstAmpRanges").listIndex, 4);

    click(QStringLiteral("optFunction(1)"));
    auto* entry = widget<QLineEdit>("txtRiseTime");
    QTest::keyClicks(entry, "1.5");
    EXPECT_EQ(form("txtRiseTime").caption, "1.5");
}

TEST_F(ViewTest, ZeroLineInvertsWhatItCrosses)
{
    start();
    FormModel& form = core->form();
    // Only the zero line, across the black display.
    for (const char* name : {"linLow", "linRise", "linHigh", "linFall", "linLow2", "linRise2",
                             "linHigh2"})
        form(QString::fromLatin1(name)).visible = false;
    form(QStringLiteral("linX")).visible = true;
    form(QStringLiteral("imgArrow")).visible = false;
    form(QStringLiteral("lblDutyCycleDisplay")).caption.clear();
    form(QStringLiteral("lblMainDisplay")).caption.clear();
    form(QStringLiteral("lblVPeakPeak")).caption.clear();
    view->sync();
    QWidget* display = widget("fraDisplay(0)");
    const QImage image = display->grab().toImage();
    // linX runs along y 88 from x 240 to 368; on black, not(magenta xor black) is green.
    QSet<QRgb> onLine;
    for (int x = 245; x < 360; ++x)
        onLine.insert(image.pixel(x, 88) & 0xffffff);
    EXPECT_TRUE(onLine.contains(0x00ff00));
    EXPECT_FALSE(onLine.contains(0xff00ff));
    EXPECT_TRUE(onLine.contains(0x000000));  // dotted: gaps leave the black
    EXPECT_EQ(image.pixel(300, 80) & 0xffffff, 0x000000u);

    // Green waveform lines, 3 pixels wide.
    form(QStringLiteral("linX")).visible = false;
    form(QStringLiteral("linHigh")).visible = true;
    form(QStringLiteral("linHigh")).line = {4080, 960, 4560, 960};
    view->sync();
    const QImage lines = display->grab().toImage();
    for (int y : {63, 64, 65})
        EXPECT_EQ(lines.pixel(290, y) & 0xffffff, 0x00ff00u) << y;
    EXPECT_EQ(lines.pixel(290, 67) & 0xffffff, 0x000000u);
}

TEST(QtServices, MessageBoxShowsTitleIconButtonsAndLineBreaks)
{
    QtMessageBoxes boxes;
    testing::SeenBox seen;
    testing::answerNextBox(seen, QMessageBox::Yes);
    const MessageResult result = boxes.show({QStringLiteral("Frequency Problem"),
                                             QStringLiteral("Not possible.\r\rUse 10 kHz?"),
                                             MessageIcon::Question, MessageButtons::YesNo});
    EXPECT_EQ(result, MessageResult::Yes);
    EXPECT_EQ(seen.text, "Not possible.\n\nUse 10 kHz?");
    EXPECT_EQ(seen.title, "Frequency Problem");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);

    testing::answerNextBox(seen, QMessageBox::Ok);
    EXPECT_EQ(boxes.show({QStringLiteral("Out of range"), QStringLiteral("Too high"),
                          MessageIcon::Exclamation, MessageButtons::Ok}),
              MessageResult::Ok);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
}

TEST(QtServices, WaitPointerIsNotCounted)
{
    QtBusyIndication busy;
    busy.setWaitPointer(true);
    busy.setWaitPointer(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    busy.setWaitPointer(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    busy.setWaitPointer(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(ViewSupport, CarriageReturnsBecomeLineBreaks)
{
    EXPECT_EQ(view::screenText("a\rb"), "a\nb");
    EXPECT_EQ(view::screenText("a\r\rb\r"), "a\n\nb\n");
    EXPECT_EQ(view::screenText("a\r\nb"), "a\nb");
    EXPECT_EQ(view::screenText("plain"), "plain");
}

TEST(ViewSupport, MissingDisplayIsReportedUnlessAPlatformOrDisplayIsNamed)
{
    std::map<std::string, QString> env;
    auto getenv = [&](const char* name) {
        const auto it = env.find(name);
        return it == env.end() ? QString() : it->second;
    };
    const char* plain[] = {"/opt/tarn/TarnPilot"};
    const auto message = view::missingDisplayMessage(1, plain, getenv);
    ASSERT_TRUE(message.has_value());
    EXPECT_TRUE(message->contains("DISPLAY is not set"));
    EXPECT_TRUE(message->contains("xvfb-run -a /opt/tarn/TarnPilot"));
    EXPECT_FALSE(message->contains('\n'));

    const char* withPlatform[] = {"TarnPilot", "-platform", "offscreen"};
    EXPECT_FALSE(view::missingDisplayMessage(3, withPlatform, getenv).has_value());
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env = {{name, QStringLiteral(":1")}};
        EXPECT_FALSE(view::missingDisplayMessage(1, plain, getenv).has_value()) << name;
    }
    env = {{"DISPLAY", QString()}};
    EXPECT_TRUE(view::missingDisplayMessage(1, plain, getenv).has_value());
}

TEST(Pictures, IconsInSixteenColoursDrawingsSharpAtEveryRatio)
{
    for (int size : {16, 32}) {
        const QImage icon = view::iconImage(size);
        EXPECT_EQ(icon.size(), QSize(size, size));
        QSet<QRgb> colours;
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                colours.insert(icon.pixel(x, y));
        EXPECT_LE(colours.size(), 16);
        EXPECT_GE(colours.size(), 2);
    }
    // Drawn at the ratio, not scaled up: the arrow's shaft is one logical
    // pixel of pure green with black right above and below it, at any ratio.
    for (qreal ratio : {1.0, 1.5, 2.0}) {
        const QImage arrow = view::renderPicture("imgArrow", ratio);
        const QImage sketch = view::renderPicture("imgFastRise", ratio);
        EXPECT_EQ(arrow.size(), (QSizeF(68, 5) * ratio).toSize()) << ratio;
        EXPECT_EQ(sketch.size(), (QSizeF(184, 148) * ratio).toSize()) << ratio;
        int green = 0;
        const int column = arrow.width() / 2;
        for (int y = 0; y < arrow.height(); ++y) {
            const QRgb pixel = arrow.pixel(column, y) & 0xffffff;
            EXPECT_TRUE(pixel == 0x00ff00u || pixel == 0) << ratio << " row " << y;
            green += pixel == 0x00ff00u;
        }
        EXPECT_EQ(green, qRound(ratio)) << ratio;
        EXPECT_EQ(arrow.pixel(0, arrow.height() / 2) & 0xffffff, 0x00ff00u) << ratio;
    }
    EXPECT_TRUE(view::renderPicture("lblMainDisplay", 1.0).isNull());
}

} // namespace
} // namespace tarn
