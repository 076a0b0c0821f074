#pragma once

#include "platform/platform.h"
#include "procedure/view/procedure_window.h"

#include <QObject>
#include <QPointer>
#include <QString>

namespace tarn {

class MainWindow;
class MainWindowView;
class Workstation;

namespace view {

// Opens procedures in the runner's window: from a file given on the command
// line once the main window has initialised, or from a file the operator
// chooses (cmdProcedure, Ctrl+O). One run at a time.
class ProcedureLauncher final : public QObject, public ProcedureOpener {
    Q_OBJECT

public:
    ~ProcedureLauncher() override;
    // The main window closing, or the program quitting, ends an unfinished
    // run as aborted.
    void attach(Workstation& station, MainWindowView& mainView);
    void openProcedure(const QString& file) override;
    // Opens the file once the main window has initialised and is idle.
    void openWhenReady(const QString& file);
    ProcedureWindow* window() const { return window_; }

private:
    Workstation* station_ = nullptr;
    MainWindow* core_ = nullptr;
    QPointer<MainWindowView> mainView_;
    QPointer<ProcedureWindow> window_;
    QString folder_;
};

} // namespace view
} // namespace tarn
