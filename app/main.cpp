// TarnPilot: the calibrator's front panel.

#include "app/main_window.h"
#include "app/view/main_window_view.h"
#include "app/view/qt_services.h"
#include "app/view/view_support.h"
#include "channel/ini_profile_store.h"
#include "channel/serial_transport.h"
#include "records/view/certificate_pdf.h"

#include <QApplication>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
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
    services.applicationFolder = QCoreApplication::applicationDirPath();

    tarn::MainWindow core(services);
    core.Load();

    tarn::MainWindowView view(core);
    messages.setView(&view);
    busy.setView(&view);
    pointer.setView(&view);
    view.show();
    view.activateWindow();
    return app.exec();
}
