#pragma once
// The windows beside the main window: the command log and the operator's
// guide with its About box. Both are non-modal and change nothing in the
// main window; they stay open while the operator works.

#include "platform/platform.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>

class QPlainTextEdit;

namespace tarn {

class MainWindow;
class Workstation;
class HistoryView;

// frmCommandLog: the command log as it grows, with Copy, Save as text and Clear.
class CommandLogWindow : public QWidget {
    Q_OBJECT

public:
    explicit CommandLogWindow(MainWindow& core, QWidget* parent = nullptr);
    ~CommandLogWindow() override;

    // The lines shown, as the operator sees them.
    QString shownText() const;
    void copy();
    void clear();
    // Asks for a file and saves; reports a failure in a message box.
    void saveAs();
    bool saveTo(const QString& path);

private:
    void follow();

    MainWindow& core_;
    QPlainTextEdit* text_ = nullptr;
    std::uint64_t shown_ = 0;
};

// frmGuide: what each panel does, the keys, the settings file.
class GuideWindow : public QWidget {
    Q_OBJECT

public:
    explicit GuideWindow(MainWindow& core, QWidget* parent = nullptr);
};

// The About box: the version, the Qt version and the licence.
void ShowAbout(MainWindow& core);

// Shows a window beside the front panel and brings it to the front. The
// first time it is placed to the right of the panel, or to its left, so
// that it covers as little of the panel as the screen allows.
void ShowBeside(QWidget* window, const QWidget* panel);

// Opens the windows on the main window's request, one of each, brought to
// the front when already open.
class QtWindows : public Windows {
public:
    void attach(MainWindow* core, QWidget* mainWindow);
    // The records the history window reads.
    void setWorkstation(Workstation* station) { station_ = station; }
    void openCommandLog() override;
    void openGuide() override;
    void openHistory(const QString& serial) override;
    CommandLogWindow* commandLog() const { return log_; }
    GuideWindow* guide() const { return guide_; }

private:
    MainWindow* core_ = nullptr;
    Workstation* station_ = nullptr;
    QPointer<QWidget> main_;
    QPointer<CommandLogWindow> log_;
    QPointer<GuideWindow> guide_;
    QPointer<HistoryView> history_;
};

} // namespace tarn
