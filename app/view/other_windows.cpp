#include "app/view/other_windows.h"

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/workstation.h"
#include "records/view/history_view.h"

#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

namespace tarn {

namespace {

// The window's body above its row of buttons.
void stack(QWidget* window, QWidget* body, QHBoxLayout* buttons)
{
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(body);
    layout->addLayout(buttons);
}

QPushButton* addButton(QHBoxLayout* row, const QString& name, const QString& caption)
{
    auto* button = new QPushButton(caption);
    button->setObjectName(name);
    button->setAutoDefault(false);
    row->addWidget(button);
    return button;
}

// Top-level windows that belong to the main window (closed with it, kept
// out of its input handling) yet are not dialogs of it.
constexpr Qt::WindowFlags kOwnWindow = Qt::Window;

const char* const kGuide = R"(
<h2>TarnPilot</h2>
<p>The window is the calibrator's front panel. Choose a function with the five buttons
along the top (or Ctrl+1 to Ctrl+5); every setting goes to the calibrator as soon
as it is complete, and the display shows what is put out.</p>
<h3>Amplitude (Ctrl+1)</h3>
<p>Pick volts per division in the list and the graticule divisions; choose Zero, DC or
1 kHz Square; 50 Ohm switches the output termination. <b>Deviation</b> offsets the output
by up to &plusmn;9.99 %: &lt; and &gt; step 0.01 %, &lt;&lt; and &gt;&gt; step 0.1 %
(held with the mouse they repeat), O returns to nominal.</p>
<h3>Fast Rise (Ctrl+2)</h3>
<p>Puts out the fast edge. Measure its rise time (10 % to 90 %) on the oscilloscope,
type it in nanoseconds and press Calculate (or Enter) for the bandwidth.</p>
<h3>Frequency (Ctrl+3) and Period (Ctrl+4)</h3>
<p>Choose a range. On the typed range enter a value on the keypad and finish it with a
unit key; a value the timer cannot make exactly is offered at the closest it can.
Type a number and press % Duty Cycle to change the duty cycle. On the preset range
press one of the nine values. C takes back the last character typed; with a value
shown it switches the output off.</p>
<h3>Setup (Ctrl+5)</h3>
<p>Choose the serial port and press Apply; it is saved in the settings file.
Command Log shows every command piece sent. Procedure... opens a calibration
procedure, History... the stored runs of a unit.</p>
<h3>Procedures (Ctrl+O)</h3>
<p>A procedure file lists test points with their tolerances. The runner window asks for
the unit, the operator and the conditions, then sets each point on the calibrator
through the panels. Before each test's connection the output is switched off until you
press Continue; points above 30 V ask first. Step the deviation until the trace fits, or
type the unit's reading, or judge Pass or Fail, then Record (Enter). Skip, Back and Abort
are always at hand; Abort, closing the runner and the end of the run switch the output off.
Each point is stored at once in the records database and in a results file. At the end,
Certificate writes the calibration certificate as a PDF; after failed points, Adjust and
run again records the unit as left.</p>
<h3>Keys</h3>
<table border="1" cellpadding="3" cellspacing="0">
<tr><td>0&ndash;9, numeric pad</td><td>keypad digits (typed ranges)</td></tr>
<tr><td>. or ,</td><td>the keypad's decimal key</td></tr>
<tr><td>H, K</td><td>Hz, kHz</td></tr>
<tr><td>U, M, S</td><td>&micro;s, ms, s</td></tr>
<tr><td>%</td><td>% Duty Cycle</td></tr>
<tr><td>Backspace</td><td>C, only while a value is being typed</td></tr>
<tr><td>Escape</td><td>give up the value being typed</td></tr>
<tr><td>Up, Down</td><td>deviation &gt;, &lt; (deviation on)</td></tr>
<tr><td>Page Up, Page Down</td><td>deviation &gt;&gt;, &lt;&lt;</td></tr>
<tr><td>Home</td><td>deviation O</td></tr>
<tr><td>Enter</td><td>Calculate (Fast Rise)</td></tr>
<tr><td>Ctrl+1 &hellip; Ctrl+5</td><td>Amplitude, Fast Rise, Frequency, Period, Setup</td></tr>
<tr><td>Ctrl+L</td><td>the command log</td></tr>
<tr><td>Ctrl+O</td><td>open a procedure</td></tr>
<tr><td>F1</td><td>this guide</td></tr>
</table>
<p>Keys are ignored while a command is being sent, as clicks are.</p>
<h3>Settings file</h3>
<p><code>TarnApp.ini</code> beside the program, section <code>[Tarn]</code>:</p>
<ul>
<li><code>Serial Port</code>: 1 to 9, the port chosen on the Setup panel (saved by Apply).</li>
<li><code>Transport</code>: <code>Demo</code> (the default: commands are paced and logged only)
or <code>Serial</code> (commands go to the calibrator on the serial line).</li>
<li><code>Device</code>: a device name that overrides the port number
(for example <code>/dev/ttyUSB0</code>).</li>
</ul>
<p>Section <code>[Procedures]</code>: <code>Records</code>, the folder of the results files,
the records database and the certificates (by default <code>records</code> in the program's
data folder); <code>Database</code>, a laboratory's records server as
<code>postgresql://user@host:port/database</code> (the password comes from
<code>~/.pgpass</code>, never from this file); <code>Operator</code>, the operator of the
last run.</p>
<p>Section <code>[Laboratory]</code>: <code>Name</code>, <code>Address</code>,
<code>Accreditation</code> and <code>CertificatePrefix</code>, printed on the certificates.</p>
)";

} // namespace

CommandLogWindow::CommandLogWindow(MainWindow& core, QWidget* parent)
    : QWidget(parent, kOwnWindow), core_(core)
{
    setObjectName(QStringLiteral("frmCommandLog"));
    setWindowTitle(QStringLiteral("Command Log"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(560, 420);

    text_ = new QPlainTextEdit;
    text_->setObjectName(QStringLiteral("txtCommandLog"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setMaximumBlockCount(static_cast<int>(CommandLog::kCapacity));
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* buttons = new QHBoxLayout;
    connect(addButton(buttons, QStringLiteral("cmdCopy"), QStringLiteral("&Copy")), &QPushButton::clicked, this,
            &CommandLogWindow::copy);
    connect(addButton(buttons, QStringLiteral("cmdSave"), QStringLiteral("&Save as Text...")),
            &QPushButton::clicked, this, &CommandLogWindow::saveAs);
    connect(addButton(buttons, QStringLiteral("cmdClear"), QStringLiteral("C&lear")), &QPushButton::clicked,
            this, &CommandLogWindow::clear);
    buttons->addStretch();
    connect(addButton(buttons, QStringLiteral("cmdClose"), QStringLiteral("Close")), &QPushButton::clicked,
            this, &QWidget::close);

    stack(this, text_, buttons);

    core_.commandLog().setListener([this] { follow(); });
    follow();
}

CommandLogWindow::~CommandLogWindow()
{
    core_.commandLog().setListener({});
}

void CommandLogWindow::follow()
{
    const CommandLog& log = core_.commandLog();
    if (log.lines().empty()) {
        text_->clear();
        shown_ = log.added();
        return;
    }
    const auto fresh = static_cast<std::size_t>(std::min<std::uint64_t>(log.added() - shown_, log.lines().size()));
    for (std::size_t i = log.lines().size() - fresh; i < log.lines().size(); ++i)
        text_->appendPlainText(log.lines()[i]);
    shown_ = log.added();
}

QString CommandLogWindow::shownText() const
{
    return text_->toPlainText();
}

void CommandLogWindow::copy()
{
    QString selected = text_->textCursor().selectedText();
    QGuiApplication::clipboard()->setText(selected.isEmpty() ? core_.commandLog().text()
                                                             : selected.replace(QChar::ParagraphSeparator, u'\n'));
}

void CommandLogWindow::clear()
{
    core_.commandLog().clear();
}

void CommandLogWindow::saveAs()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Command Log"),
                                                      QStringLiteral("command-log.txt"),
                                                      QStringLiteral("Text files (*.txt);;All files (*)"));
    if (!path.isEmpty())
        saveTo(path);
}

bool CommandLogWindow::saveTo(const QString& path)
{
    QString reason;
    if (core_.commandLog().save(path, &reason))
        return true;
    core_.showMessage({QStringLiteral("Command Log"),
                       QStringLiteral("The log could not be saved to ") + path + QStringLiteral("\r\r") + reason,
                       MessageIcon::Exclamation, MessageButtons::Ok});
    return false;
}

GuideWindow::GuideWindow(MainWindow& core, QWidget* parent) : QWidget(parent, kOwnWindow)
{
    setObjectName(QStringLiteral("frmGuide"));
    setWindowTitle(QStringLiteral("TarnPilot Operator's Guide"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(560, 600);

    auto* text = new QTextBrowser;
    text->setObjectName(QStringLiteral("txtGuide"));
    text->setHtml(QString::fromUtf8(kGuide));

    auto* buttons = new QHBoxLayout;
    connect(addButton(buttons, QStringLiteral("cmdAbout"), QStringLiteral("&About TarnPilot...")),
            &QPushButton::clicked, this, [&core] { ShowAbout(core); });
    buttons->addStretch();
    connect(addButton(buttons, QStringLiteral("cmdClose"), QStringLiteral("Close")), &QPushButton::clicked,
            this, &QWidget::close);

    stack(this, text, buttons);
}

void ShowAbout(MainWindow& core)
{
    core.showMessage({QStringLiteral("About TarnPilot"), AboutText(), MessageIcon::Information, MessageButtons::Ok});
}

void QtWindows::attach(MainWindow* core, QWidget* mainWindow)
{
    core_ = core;
    main_ = mainWindow;
}

void ShowBeside(QWidget* window, const QWidget* panel)
{
    if (!window)
        return;
    if (!window->isVisible() && !window->property("tarnPlaced").toBool() && panel && panel->isVisible()) {
        window->setProperty("tarnPlaced", true);
        constexpr int kGap = 8;
        const QRect beside = panel->frameGeometry();
        const QSize size = window->testAttribute(Qt::WA_Resized) ? window->size() : window->sizeHint();
        const QScreen* screen = panel->screen();
        const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), QSize(1 << 15, 1 << 15));
        QPoint at(beside.right() + 1 + kGap, beside.top());
        if (at.x() + size.width() > area.right() + 1) {
            const int left = beside.left() - kGap - size.width();
            at.setX(left >= area.left() ? left : std::max(area.left(), area.right() + 1 - size.width()));
        }
        at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
        window->move(at);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

namespace {
template <typename W>
W* raise(QPointer<W>& window, MainWindow* core, QWidget* parent)
{
    if (!core)
        return nullptr;
    if (!window)
        window = new W(*core, parent);
    ShowBeside(window, parent);
    return window;
}
} // namespace

void QtWindows::openCommandLog()
{
    raise(log_, core_, main_.data());
}

void QtWindows::openGuide()
{
    raise(guide_, core_, main_.data());
}

void QtWindows::openHistory(const QString& serial)
{
    if (!core_ || !station_)
        return;
    if (!history_)
        history_ = new HistoryView(station_->records(), core_->services(), main_.data());
    history_->showSerial(serial);
    ShowBeside(history_, main_.data());
}

} // namespace tarn
