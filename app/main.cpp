// TarnPilot: the calibrator's front panel.

#include "app/main_window.h"
#include "app/view/main_window_view.h"
#include "app/view/qt_services.h"
#include "app/view/view_support.h"
#include "channel/ini_profile_store.h"
#include "channel/serial_transport.h"
#include "records/view/certificate_pdf.h"
#include "procedure/check.h"
#include "procedure/view/procedure_window.h"

#include <QApplication>
#include <QTextStream>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    // The procedure checker needs neither a display nor the calibrator.
    QString procedureFile;
    for (int i = 1; i + 1 < argc; ++i) {
        const QString option = QString::fromLocal8Bit(argv[i]);
        if (option == u"--check-procedure") {
            QTextStream out(stdout);
            return tarn::RunProcedureCheck(QString::fromLocal8Bit(argv[i + 1]), out);
        }
        if (option == u"--procedure")
            procedureFile = QString::fromLocal8Bit(argv[i + 1]);
    }

    // Without any display Qt would abort with a long explanation; say what to do instead.
    const auto noDisplay = tarn::view::missingDisplayMessage(argc, argv, [](const char* name) {
        const char* value = std::getenv(name);
        return value ? QString::fromLocal8Bit(value) : QString();
    });
    if (noDisplay) {
        std::fprintf(stderr, "%s\n", noDisplay->toLocal8Bit().constData());
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    tarn::QtMessageBoxes messages;
    tarn::QtPauses pauses;
    tarn::QtBusyIndication busy;
    tarn::IniProfileStore profile;
    tarn::QtNumberFormats numbers;
    tarn::QtPointerState pointer;
    tarn::PdfCertificatePrinter certificates;
    tarn::QtDocumentViewer documents;
    // Opened only when the settings file asks for the serial line.
    tarn::SerialTransport serial;

    tarn::Services services;
    services.messages = &messages;
    services.pauses = &pauses;
    services.busy = &busy;
    services.profile = &profile;
    services.numbers = &numbers;
    services.pointer = &pointer;
    services.certificates = &certificates;
    services.documents = &documents;
    services.serial = &serial;
    tarn::view::ProcedureLauncher procedures;
    services.procedures = &procedures;
    services.applicationFolder = QCoreApplication::applicationDirPath();

    tarn::MainWindow core(services);
    core.Load();

    tarn::MainWindowView view(core);
    messages.setView(&view);
    busy.setView(&view);
    pointer.setView(&view);
    // Closing the front panel ends the program, whatever other window is open.
    QObject::connect(&view, &tarn::MainWindowView::closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    view.show();
    view.activateWindow();
    procedures.attach(core, view);
    // The runner opens once the window has initialised.
    if (!procedureFile.isEmpty())
        procedures.openWhenReady(procedureFile);
    return app.exec();
}
