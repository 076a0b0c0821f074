#include "app/view/procedure_launcher.h"

#include "app/main_window.h"
#include "app/view/main_window_view.h"
#include "app/view/other_windows.h"
#include "app/workstation.h"
#include "procedure/runner.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

namespace tarn::view {

// --- Launcher -------------------------------------------------------------------

ProcedureLauncher::~ProcedureLauncher()
{
    // Only deleted: the main window may be gone already, and its closing
    // has ended the run.
    delete window_;
}

void ProcedureLauncher::attach(Workstation& station, MainWindowView& mainView)
{
    station_ = &station;
    core_ = &station.window();
    mainView_ = &mainView;
    // The main window closing, or the program ending otherwise (a signal,
    // the session), ends an unfinished run as aborted.
    const auto end = [this] {
        if (window_)
            window_->close();
    };
    connect(&mainView, &MainWindowView::closed, this, end);
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, end);
}

void ProcedureLauncher::openProcedure(const QString& given)
{
    if (!core_)
        return;
    if (window_ && window_->running()) {
        window_->raise();
        window_->activateWindow();
        core_->showMessage({QStringLiteral("Procedure"),
                            QStringLiteral("A procedure is running. Finish or abort it before opening another."),
                            MessageIcon::Exclamation, MessageButtons::Ok});
        return;
    }
    QString file = given;
    if (file.isEmpty()) {
        file = QFileDialog::getOpenFileName(mainView_, QStringLiteral("Open procedure"), folder_,
                                            QStringLiteral("Procedures (*.toml);;All files (*)"));
        if (file.isEmpty())
            return;
    }
    folder_ = QFileInfo(file).absolutePath();
    QString problems;
    std::unique_ptr<ProcedureRunner> runner = ProcedureRunner::open(station_->bench(), file, &problems);
    if (!runner) {
        core_->showMessage({QStringLiteral("Procedure"),
                            QStringLiteral("This procedure cannot be run:\r\r") + problems.replace(u'\n', u'\r'),
                            MessageIcon::Exclamation, MessageButtons::Ok});
        return;
    }
    if (window_)
        window_->close();
    QPointer<MainWindowView> mainView = mainView_;
    window_ = new ProcedureWindow(station_->bench(), *station_, [mainView] {
        if (mainView)
            mainView->sync();
    }, std::move(runner));
    ShowBeside(window_, mainView_);
}

void ProcedureLauncher::openWhenReady(const QString& file)
{
    auto* wait = new QTimer(this);
    wait->setInterval(100);
    connect(wait, &QTimer::timeout, this, [this, wait, file] {
        if (!core_ || !core_->initialised() || !core_->form().window().enabled)
            return;
        wait->deleteLater();
        wait->stop();
        openProcedure(file);
    });
    wait->start();
}

} // namespace tarn::view
