#include "app/view/main_window_view.h"

#include "app/latch_button.h"
#include "app/main_window.h"
#include "app/view/other_windows.h"
#include "app/view/pictures.h"
#include "app/view/view_support.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <cmath>
#include <cstring>

namespace tarn {
namespace view {

int toPixels(double twips)
{
    return static_cast<int>(std::lround(twips / 15.0));
}

QFont toQFont(const Font& font)
{
    QFont result(font.family);
    result.setPixelSize(std::max(1, static_cast<int>(std::lround(font.points * 96.0 / 72.0))));
    result.setBold(font.bold);
    result.setItalic(font.italic);
    return result;
}

QColor toQColor(const Color& color)
{
    switch (color.role) {
    case Color::Role::ButtonFace: return QApplication::palette().color(QPalette::Button);
    case Color::Role::WindowText: return QApplication::palette().color(QPalette::WindowText);
    case Color::Role::Plain: break;
    }
    return QColor(color.r, color.g, color.b);
}

// A frame: its back colour, the etched border with the caption in the top
// edge, and the lines and shapes that belong to it, all behind the child
// widgets. The caption is readable as the title (as a group box has it)
// and as the accessible name.
class FrameWidget : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle)

public:
    FrameWidget(const FormModel& form, int id, QWidget* parent)
        : QWidget(parent), form_(form), id_(id)
    {
    }

    QString title() const { return title_; }
    void setTitle(const QString& title)
    {
        title_ = title;
        setAccessibleName(title);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const Control& c = form_.at(id_);
        QPainter p(this);
        p.fillRect(rect(), toQColor(c.back));
        const QFont font = toQFont(c.font);
        const QFontMetrics metrics(font);
        const int top = title_.isEmpty() ? 0 : metrics.height() / 2;
        const QRect border = rect().adjusted(0, top, -1, -1);
        p.setPen(QColor(160, 160, 160));
        p.drawRect(border.adjusted(0, 0, -1, -1));
        p.setPen(Qt::white);
        p.drawRect(border.adjusted(1, 1, 0, 0));
        if (!title_.isEmpty()) {
            const QString text = screenText(title_);
            const QRect textRect(6, 0, metrics.horizontalAdvance(text) + 4, metrics.height());
            p.fillRect(textRect, toQColor(c.back));
            p.setFont(font);
            p.setPen(toQColor(c.fore));
            p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text);
        }
        paintDrawnControls(p, form_, id_);
    }

private:
    const FormModel& form_;
    int id_;
    QString title_;
};

namespace {

QRect pixelRect(const Control& c)
{
    return QRect(toPixels(c.left), toPixels(c.top), toPixels(c.width), toPixels(c.height));
}

void paintLine(QPainter& p, const Control& c)
{
    QPen pen(toQColor(c.fore));
    pen.setWidth(std::max(1, c.lineWidth));
    // Broken styles exist only for one-pixel lines; wider ones are drawn solid.
    if (c.lineWidth <= 1 && c.lineStyle == LineStyle::Dot)
        pen.setStyle(Qt::DotLine);
    else if (c.lineWidth <= 1 && c.lineStyle == LineStyle::Dash)
        pen.setStyle(Qt::DashLine);
    pen.setCapStyle(c.lineWidth <= 1 ? Qt::FlatCap : Qt::RoundCap);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    if (c.notXorPen)
        p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    p.setPen(pen);
    p.drawLine(QPoint(toPixels(c.line.x1), toPixels(c.line.y1)),
               QPoint(toPixels(c.line.x2), toPixels(c.line.y2)));
    p.restore();
}

void paintShape(QPainter& p, const Control& c)
{
    const QRect r = pixelRect(c);
    const int border = std::max(1, c.lineWidth);
    // The border lies inside the shape's rectangle.
    p.fillRect(r, toQColor(c.fore));
    p.fillRect(r.adjusted(border, border, -border, -border), toQColor(c.back));
}

Qt::Alignment labelAlignment(Alignment a)
{
    switch (a) {
    case Alignment::Right: return Qt::AlignRight | Qt::AlignTop;
    case Alignment::Center: return Qt::AlignHCenter | Qt::AlignTop;
    case Alignment::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

bool sameRows(const std::vector<ListRow>& a, const std::vector<ListRow>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].caption != b[i].caption)
            return false;
    return true;
}

bool isBlockedInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
        return true;
    default:
        return false;
    }
}

void registerFontSubstitutes()
{
    // Metric-compatible faces where the designed ones are not installed.
    static const bool done = [] {
        QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
        QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
        return true;
    }();
    (void)done;
}

} // namespace

void paintDrawnControls(QPainter& painter, const FormModel& form, int id)
{
    for (int child : form.children(id)) {
        const Control& c = form.at(child);
        if (!c.visible)
            continue;
        if (c.kind == Kind::Line)
            paintLine(painter, c);
        else if (c.kind == Kind::Shape)
            paintShape(painter, c);
    }
}

} // namespace view

struct MainWindowView::Slot {
    QWidget* widget = nullptr;   // the control's own widget
    QWidget* painter = nullptr;  // lines and shapes: the container that paints them
    QTimer* timer = nullptr;
    Control applied;             // the properties as last mirrored
};

MainWindowView::MainWindowView(MainWindow& core, QWidget* parent)
    : QWidget(parent), core_(core), form_(core.form())
{
    view::registerFontSubstitutes();
    const Control& window = form_.window();
    setObjectName(window.name);
    // A fixed size: no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(view::toPixels(window.width), view::toPixels(window.height));
    addWindowActions();
    setWindowIcon(view::windowIcon());
    build();
    sync();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                 screen->availableGeometry())
                 .topLeft());
    qApp->installEventFilter(this);
    qApp->installNativeEventFilter(this);
}

MainWindowView::~MainWindowView()
{
    qApp->removeNativeEventFilter(this);
    qApp->removeEventFilter(this);
}

QWidget* MainWindowView::widgetFor(int id) const
{
    if (id == 0)
        return const_cast<MainWindowView*>(this);
    if (id < 0 || id >= static_cast<int>(slots_.size()))
        return nullptr;
    return slots_[static_cast<size_t>(id)].widget;
}

QTimer* MainWindowView::timerFor(int id) const
{
    if (id < 0 || id >= static_cast<int>(slots_.size()))
        return nullptr;
    return slots_[static_cast<size_t>(id)].timer;
}

void MainWindowView::build()
{
    slots_.assign(static_cast<size_t>(form_.size()), Slot{});
    slots_[0].widget = this;
    for (int id = 1; id < form_.size(); ++id)
        buildControl(id);
}

void MainWindowView::buildControl(int id)
{
    const Control& c = form_.at(id);
    Slot& slot = slots_[static_cast<size_t>(id)];
    QWidget* container = c.parent <= 0 ? this : slots_[static_cast<size_t>(c.parent)].widget;
    if (!container)
        container = this;
    const QString name = c.name;
    const int index = c.index;

    switch (c.kind) {
    case Kind::Window:
        return;
    case Kind::Frame:
        slot.widget = new view::FrameWidget(form_, id, container);
        break;
    case Kind::OptionButton: {
        auto* button = new CaptionButton(container);
        button->setCheckable(true);
        button->setAutoExclusive(false);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, name, index] {
            if (takesInput())
                form_.operatorClick(name, index);
            forwarded();
        });
        slot.widget = button;
        break;
    }
    case Kind::CommandButton: {
        auto* button = new LatchButton(container);
        connect(button, &LatchButton::clicked, this, [this, name, index] {
            if (takesInput())
                form_.operatorClick(name, index);
            forwarded();
        });
        connect(button, &LatchButton::mouseDown, this, [this, name, index](int mouseButton) {
            form_.operatorMouseDown(name, index, mouseButton);
            forwarded();
        });
        connect(button, &LatchButton::mouseUp, this, [this, id, name, index] {
            // A release while the window is busy is kept until it takes input
            // again, so that a held step button cannot keep repeating.
            if (!takesInput()) {
                pendingMouseUps_.push_back(id);
                return;
            }
            form_.operatorMouseUp(name, index);
            forwarded();
        });
        slot.widget = button;
        break;
    }
    case Kind::Label: {
        auto* label = new QLabel(container);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setMargin(0);
        label->setIndent(0);
        slot.widget = label;
        break;
    }
    case Kind::TextBox: {
        auto* edit = new QLineEdit(container);
        connect(edit, &QLineEdit::textEdited, this, [this, name, index](const QString& text) {
            form_.operatorEditText(name, index, text);
            forwarded();
        });
        slot.widget = edit;
        break;
    }
    case Kind::ListBox: {
        auto* list = new QListWidget(container);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setUniformItemSizes(true);
        // A row chosen by mouse or keyboard becomes selected; the current row
        // alone also moves when the list merely takes the focus.
        connect(list, &QListWidget::itemSelectionChanged, this, [this, list, name, index] {
            const QListWidgetItem* item = list->currentItem();
            if (!item || !item->isSelected())
                return;
            if (takesInput())
                form_.operatorSelectRow(name, index, list->currentRow());
            forwarded();
        });
        slot.widget = list;
        break;
    }
    case Kind::DropDownList: {
        auto* combo = new QComboBox(container);
        combo->setEditable(false);
        connect(combo, &QComboBox::activated, this, [this, name, index](int row) {
            if (takesInput())
                form_.operatorSelectRow(name, index, row);
            forwarded();
        });
        slot.widget = combo;
        break;
    }
    case Kind::Image:
        slot.widget = new view::PictureWidget(name, container);
        break;
    case Kind::Timer: {
        auto* timer = new QTimer(this);
        timer->setObjectName(FormModel::key(c));
        connect(timer, &QTimer::timeout, this, [this, name] {
            form_.timerTick(name);
            forwarded();
        });
        slot.timer = timer;
        return;
    }
    case Kind::SerialPort: {
        // Nothing to see: the port is opened by whatever transport uses it.
        auto* placeholder = new QWidget(container);
        placeholder->setObjectName(FormModel::key(c));
        placeholder->hide();
        slot.widget = placeholder;
        return;
    }
    case Kind::Line:
    case Kind::Shape:
        slot.painter = container;
        return;
    }
    slot.widget->setObjectName(FormModel::key(c));
}

void MainWindowView::forwarded()
{
    sync();
}

void MainWindowView::sync()
{
    const bool first = !synced_;
    synced_ = true;
    for (int id = 0; id < form_.size(); ++id)
        syncControl(id, first);

    // Focus: moved on each request of the model once its control is on
    // screen (a request made while the panel is still hidden waits for it).
    const int focus = form_.focus();
    if (form_.focusRequests() != focusRequestsSeen_ && focus >= 0 && form_.shown(focus)) {
        if (QWidget* w = widgetFor(focus); w && w != this)
            w->setFocus(Qt::OtherFocusReason);
        focusRequestsSeen_ = form_.focusRequests();
    }

    if (windowEnabled_ && !pendingMouseUps_.empty())
        QTimer::singleShot(0, this, [this] { deliverPendingMouseUps(); });
}

void MainWindowView::deliverPendingMouseUps()
{
    if (!form_.window().enabled || pendingMouseUps_.empty())
        return;
    const std::vector<int> pending = std::move(pendingMouseUps_);
    pendingMouseUps_.clear();
    for (int id : pending)
        form_.operatorMouseUp(form_.at(id).name, form_.at(id).index);
    sync();
}

void MainWindowView::syncControl(int id, bool first)
{
    Slot& slot = slots_[static_cast<size_t>(id)];
    const Control& c = form_.at(id);
    Control& a = slot.applied;

    if (c.kind == Kind::Window) {
        if (first || a.caption != c.caption)
            setWindowTitle(c.caption);
        if (first || a.back != c.back) {
            QPalette pal = palette();
            pal.setColor(QPalette::Window, view::toQColor(c.back));
            setPalette(pal);
            setAutoFillBackground(true);
            update();
        }
        // The window stays drawn as it is while it takes no input; the event
        // filter discards the operator's input meanwhile. Input that came
        // during a pause waits in the queue: it is taken out while the window
        // is still shut, so that it is discarded rather than acted on late
        // (a click made during a send would otherwise change the settings
        // after the command for them has gone).
        if (c.enabled && !windowEnabled_ && !reopening_) {
            reopening_ = true;
            QCoreApplication::processEvents();
            reopening_ = false;
        }
        if (!reopening_)
            windowEnabled_ = form_.window().enabled;
        a = c;
        return;
    }

    if (c.kind == Kind::Line || c.kind == Kind::Shape) {
        if (slot.painter
            && (first || a.visible != c.visible || a.line != c.line || a.fore != c.fore
                || a.back != c.back || a.lineWidth != c.lineWidth || a.left != c.left
                || a.top != c.top || a.width != c.width || a.height != c.height))
            slot.painter->update();
        a = c;
        return;
    }

    if (c.kind == Kind::Timer) {
        if (QTimer* timer = slot.timer) {
            if (timer->interval() != c.interval)
                timer->setInterval(c.interval);
            const bool run = c.enabled && c.interval > 0;
            if (run != timer->isActive()) {
                if (run)
                    timer->start();
                else
                    timer->stop();
            }
        }
        a = c;
        return;
    }

    QWidget* w = slot.widget;
    if (!w || c.kind == Kind::SerialPort) {
        a = c;
        return;
    }

    if (first || a.left != c.left || a.top != c.top || a.width != c.width || a.height != c.height)
        w->setGeometry(view::pixelRect(c));
    if (first || a.font != c.font)
        w->setFont(view::toQFont(c.font));
    if (first || a.toolTip != c.toolTip)
        w->setToolTip(c.toolTip);
    if (first || a.enabled != c.enabled)
        w->setEnabled(c.enabled);
    const bool colours = first || a.fore != c.fore || a.back != c.back
                         || a.transparent != c.transparent;
    const bool caption = first || a.caption != c.caption;

    switch (c.kind) {
    case Kind::Frame:
        if (caption)
            static_cast<view::FrameWidget*>(w)->setTitle(c.caption);
        if (colours || a.font != c.font)
            w->update();
        break;
    case Kind::OptionButton: {
        auto* button = static_cast<QPushButton*>(w);
        if (caption)
            button->setText(c.caption);
        if (colours)
            button->setStyleSheet(buttonStyleSheet(view::toQColor(c.fore), view::toQColor(c.back)));
        if (button->isChecked() != c.value) {
            const QSignalBlocker block(button);
            button->setChecked(c.value);
        }
        break;
    }
    case Kind::CommandButton: {
        auto* button = static_cast<LatchButton*>(w);
        if (caption)
            button->setText(c.caption);
        if (colours)
            button->setColors(view::toQColor(c.fore), view::toQColor(c.back));
        button->setLatching(c.latching);
        button->setLatchValue(c.latchValue);
        break;
    }
    case Kind::Label: {
        auto* label = static_cast<QLabel*>(w);
        if (caption)
            label->setText(view::screenText(c.caption));
        if (first || a.alignment != c.alignment)
            label->setAlignment(view::labelAlignment(c.alignment));
        if (colours) {
            QPalette pal = label->palette();
            pal.setColor(QPalette::WindowText, view::toQColor(c.fore));
            pal.setColor(QPalette::Window, view::toQColor(c.back));
            label->setPalette(pal);
            label->setAutoFillBackground(!c.transparent);
        }
        break;
    }
    case Kind::TextBox: {
        auto* edit = static_cast<QLineEdit*>(w);
        if (edit->text() != c.caption)
            edit->setText(c.caption);
        if (colours) {
            QPalette pal = edit->palette();
            pal.setColor(QPalette::Text, view::toQColor(c.fore));
            pal.setColor(QPalette::Base, view::toQColor(c.back));
            edit->setPalette(pal);
        }
        break;
    }
    case Kind::ListBox: {
        auto* list = static_cast<QListWidget*>(w);
        const QSignalBlocker block(list);
        if (first || !view::sameRows(a.rows, c.rows)) {
            list->clear();
            for (const ListRow& row : c.rows)
                list->addItem(row.caption);
        }
        if (list->currentRow() != c.listIndex) {
            list->setCurrentRow(c.listIndex);
            if (c.listIndex < 0)
                list->clearSelection();
        }
        if (colours) {
            QPalette pal = list->palette();
            pal.setColor(QPalette::Text, view::toQColor(c.fore));
            pal.setColor(QPalette::Base, view::toQColor(c.back));
            list->setPalette(pal);
        }
        break;
    }
    case Kind::DropDownList: {
        auto* combo = static_cast<QComboBox*>(w);
        const QSignalBlocker block(combo);
        if (first || !view::sameRows(a.rows, c.rows)) {
            combo->clear();
            for (const ListRow& row : c.rows)
                combo->addItem(row.caption);
        }
        if (combo->currentIndex() != c.listIndex)
            combo->setCurrentIndex(c.listIndex);
        if (colours) {
            QPalette pal = combo->palette();
            pal.setColor(QPalette::ButtonText, view::toQColor(c.fore));
            pal.setColor(QPalette::Text, view::toQColor(c.fore));
            pal.setColor(QPalette::Button, view::toQColor(c.back));
            pal.setColor(QPalette::Base, view::toQColor(c.back));
            combo->setPalette(pal);
        }
        break;
    }
    case Kind::Image:
    case Kind::SerialPort:
    case Kind::Window:
    case Kind::Line:
    case Kind::Shape:
    case Kind::Timer:
        break;
    }

    // Visibility last, so a control appears with its new content.
    if (first || a.visible != c.visible)
        w->setVisible(c.visible);
    a = c;
}

bool MainWindowView::event(QEvent* event)
{
    const bool result = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate && isActiveWindow() && !activating_) {
        activating_ = true;
        core_.Activated();
        activating_ = false;
        sync();
    } else if (event->type() == QEvent::WindowDeactivate) {
        core_.Deactivated();
        sync();
    }
    return result;
}

void MainWindowView::closeEvent(QCloseEvent* event)
{
    // A close that comes while a command is being sent waits until it has
    // gone, so that the closing "OFF" is the last piece the calibrator gets.
    if (!form_.window().enabled) {
        event->ignore();
        QTimer::singleShot(50, this, [this] { close(); });
        return;
    }
    core_.Close();
    sync();
    QWidget::closeEvent(event);
    emit closed();
}

void MainWindowView::windowDestroyed()
{
    // The window system took the window away (a destroyed X window): the
    // program ends as a closed window does, once the command in hand is gone.
    if (core_.closed())
        return;
    if (!form_.window().enabled) {
        QTimer::singleShot(50, this, [this] { windowDestroyed(); });
        return;
    }
    core_.Close();
    emit closed();
}

bool MainWindowView::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    // An X11 DestroyNotify (code 17) names the destroyed window at byte 8.
    if (eventType != "xcb_generic_event_t" || !message || !testAttribute(Qt::WA_WState_Created))
        return false;
    const auto* bytes = static_cast<const unsigned char*>(message);
    if ((bytes[0] & 0x7f) != 17)
        return false;
    quint32 window = 0;
    std::memcpy(&window, bytes + 8, sizeof window);
    if (window == static_cast<quint32>(winId()))
        QTimer::singleShot(0, this, [this] { windowDestroyed(); });
    return false;
}

bool MainWindowView::isOwnWidget(QObject* object) const
{
    if (!object->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(object);
    return widget == this || isAncestorOf(widget);
}

void MainWindowView::addWindowActions()
{
    // The window's own menu (its context menu here, as the title bar's menu
    // belongs to the window manager).
    auto add = [this](const QString& text, auto handler) {
        auto* action = new QAction(text, this);
        connect(action, &QAction::triggered, this, [this, handler] {
            if (takesInput())
                handler();
            forwarded();
        });
        addAction(action);
    };
    add(QStringLiteral("Operator's Guide\tF1"), [this] { core_.OpenGuide(); });
    add(QStringLiteral("Command Log\tCtrl+L"), [this] { core_.OpenCommandLog(); });
    add(QStringLiteral("Procedure...\tCtrl+O"), [this] { core_.OpenProcedure(); });
    add(QStringLiteral("About TarnPilot..."), [this] { ShowAbout(core_); });
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

bool MainWindowView::keyPressed(QObject* watched, QKeyEvent* key)
{
    // A key goes first to the focused control (or to the window when none
    // has the focus); it is taken there, once.
    QWidget* focus = QApplication::focusWidget();
    if (watched != (focus ? focus : this))
        return false;
    // The rise-time box keeps its own editing keys.
    if (qobject_cast<QLineEdit*>(watched) && !(key->modifiers() & Qt::ControlModifier)
        && key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter && key->key() != Qt::Key_F1)
        return false;
    if (core_.KeyPressed(key->key(), key->modifiers()) == KeyResult::Ignored)
        return false;
    forwarded();
    return true;
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* event)
{
    if (!windowEnabled_ && view::isBlockedInput(event->type()) && isOwnWidget(watched))
        return true;
    if (event->type() == QEvent::KeyPress && isOwnWidget(watched)
        && keyPressed(watched, static_cast<QKeyEvent*>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

void MainWindowView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), view::toQColor(form_.window().back));
    view::paintDrawnControls(p, form_, 0);
}

} // namespace tarn

#include "main_window_view.moc"
