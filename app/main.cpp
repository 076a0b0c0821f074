// TarnPilot: the calibrator's front panel.

#include "app/command_line.h"
#include "app/exit_guard.h"
#include "app/main_window.h"
#include "app/workstation.h"
#include "app/view/main_window_view.h"
#include "app/view/other_windows.h"
#include "app/view/procedure_launcher.h"
#include "app/view/qt_services.h"
#include "app/view/view_support.h"
#include "channel/ini_profile_store.h"
#include "channel/serial_transport.h"
#include "records/dcc.h"
#include "records/dcc_validation.h"
#include "records/view/certificate_pdf.h"
#include "procedure/check.h"
#include "uncertainty/calibrator_spec.h"
#include "uut/driver.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTextStream>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>

namespace {

// --validate-dcc, --dcc-summary and --dcc: the schemas are looked up beside
// the program; a run's records are those the settings file names, as the
// window finds them. The PDF of a run whose certificate is missing is drawn
// without a display.
int runDccCommand(const tarn::CommandLine& commandLine, int argc, char* argv[])
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!commandLine.dccRun) {
        QCoreApplication app(argc, argv);
        const QString schemas = tarn::dccSchemaFolder(QCoreApplication::applicationDirPath());
        return commandLine.validateDcc ? tarn::validateDccFile(*commandLine.validateDcc, schemas, out, err)
                                       : tarn::summariseDccFile(*commandLine.dccSummary, schemas, out, err);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    tarn::IniProfileStore profile;
    tarn::PdfCertificatePrinter certificates;
    tarn::Services services;
    services.profile = &profile;
    services.certificates = &certificates;
    services.applicationFolder = QCoreApplication::applicationDirPath();
    tarn::Records records(tarn::readRecordsSettings(
        profile, services.applicationFolder + QStringLiteral("/TarnApp.ini"),
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/records")));
    return tarn::writeDccOfRun(records, *commandLine.dccRun, services, out, err);
}

} // namespace

int main(int argc, char* argv[])
{
    // --help, --version and a mistyped option are answered without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const tarn::CommandLine commandLine = tarn::ParseCommandLine(arguments);
    if (commandLine.action != tarn::CommandLine::Action::Run) {
        std::FILE* out = commandLine.action == tarn::CommandLine::Action::Refuse ? stderr : stdout;
        std::fprintf(out, "%s", commandLine.output.toLocal8Bit().constData());
        if (!commandLine.output.endsWith(u'\n'))
            std::fputc('\n', out);
        return commandLine.exitCode;
    }
    // The procedure checker needs neither a display nor the calibrator.
    if (commandLine.checkCalibrator) {
        QTextStream out(stdout);
        return tarn::RunCalibratorCheck(*commandLine.checkCalibrator, out);
    }
    if (commandLine.checkProcedure) {
        // The calibrator file the runner would use, unless one is named.
        QCoreApplication checker(argc, argv);
        const QString folder = QCoreApplication::applicationDirPath();
        tarn::IniProfileStore settings;
        tarn::ProcedureCheckOptions options;
        options.budget = commandLine.budget;
        options.calibratorFile = commandLine.calibrator
                                     ? *commandLine.calibrator
                                     : tarn::calibratorSpecPath(settings, folder + QStringLiteral("/TarnApp.ini"),
                                                                folder);
        QTextStream out(stdout);
        return tarn::RunProcedureCheck(*commandLine.checkProcedure, out, options);
    }

    // The Digital Calibration Certificate's commands need no window either.
    if (commandLine.validateDcc || commandLine.dccSummary || commandLine.dccRun) {
        return runDccCommand(commandLine, argc, argv);
    }
    if (commandLine.checkDriver) {
        QTextStream out(stdout);
        return tarn::RunDriverCheck(*commandLine.checkDriver, out);
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
    tarn::QtWindows windows;

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
    services.windows = &windows;
    tarn::view::ProcedureLauncher procedures;
    services.procedures = &procedures;
    services.applicationFolder = QCoreApplication::applicationDirPath();

    tarn::MainWindow core(services);
    core.Load();
    // The records and the front panel as procedures drive it.
    tarn::Workstation station(core);
    windows.setWorkstation(&station);

    tarn::ExitGuard exitGuard(core);

    tarn::MainWindowView view(core);
    messages.setView(&view);
    busy.setView(&view);
    pointer.setView(&view);
    windows.attach(&core, &view);
    // However the program ends (the session closing, too), the output is off.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&core] { core.Close(); });
    // Closing the front panel ends the program, whatever other window is open.
    QObject::connect(&view, &tarn::MainWindowView::closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    view.show();
    view.activateWindow();
    procedures.attach(station, view);
    // The runner opens once the window has initialised.
    if (commandLine.procedure)
        procedures.openWhenReady(*commandLine.procedure);
    return app.exec();
}
