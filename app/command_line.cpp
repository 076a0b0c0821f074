#include "app/command_line.h"

#include "app/version.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace tarn {

namespace {
// Options the window system reads itself; the ones with a value first.
const char* const kToolkitValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle", "geometry", "style", "stylesheet", "display",
    "session", "name", "title", "visual", "dialogs", "fontengine", "qmljsdebugger", "ncols",
};
const char* const kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "cmap"};

QCommandLineOption hidden(QCommandLineOption option)
{
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
}
} // namespace

QString VersionText()
{
    return QStringLiteral("%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision);
}

QString AboutText()
{
    return QStringLiteral("TarnPilot ") + VersionText() +
           QStringLiteral("\rFront panel of the Corvane Tarn oscilloscope and timer-counter calibrator.") +
           QStringLiteral("\r\rBuilt with Qt ") + QStringLiteral(QT_VERSION_STR) + QStringLiteral(", running on Qt ") +
           QString::fromLatin1(qVersion()) + QStringLiteral(".\r\rLicence: Proprietary; all rights reserved.");
}

CommandLine ParseCommandLine(const QStringList& arguments)
{
    const QString program =
        arguments.isEmpty() ? QStringLiteral("TarnPilot") : QFileInfo(arguments.first()).fileName();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Front panel of the Corvane Tarn oscilloscope and timer-counter calibrator."));
    // "-platform xcb" as the window system writes it, not as -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption check(QStringLiteral("check-procedure"),
                                   QStringLiteral("Check a procedure file and exit"), QStringLiteral("FILE"));
    const QCommandLineOption procedure(QStringLiteral("procedure"),
                                       QStringLiteral("Open the procedure runner with FILE after start-up"),
                                       QStringLiteral("FILE"));
    const QCommandLineOption checkDriver(QStringLiteral("check-driver"),
                                         QStringLiteral("Check an oscilloscope driver file and exit"),
                                         QStringLiteral("FILE"));
    parser.addOption(checkDriver);
    const QCommandLineOption budget(QStringLiteral("budget"),
                                    QStringLiteral("With --check-procedure: print each point's uncertainty budget"));
    const QCommandLineOption calibrator(
        QStringLiteral("calibrator"),
        QStringLiteral("With --check-procedure: the calibrator file to use instead of the settings' one"),
        QStringLiteral("FILE"));
    const QCommandLineOption checkCalibrator(QStringLiteral("check-calibrator"),
                                             QStringLiteral("Check a calibrator file file and exit"),
                                             QStringLiteral("FILE"));
    const QCommandLineOption validateDcc(QStringLiteral("validate-dcc"),
                                         QStringLiteral("Validate a Digital Calibration Certificate and exit"),
                                         QStringLiteral("FILE"));
    const QCommandLineOption dccSummary(QStringLiteral("dcc-summary"),
                                        QStringLiteral("Print what a Digital Calibration Certificate says and exit"),
                                        QStringLiteral("FILE"));
    const QCommandLineOption dccRun(QStringLiteral("dcc"),
                                    QStringLiteral("Write the Digital Calibration Certificate of a stored run that "
                                                   "has its certificate number, and exit"),
                                    QStringLiteral("RUN_UUID"));
    parser.addOption(check);
    parser.addOption(budget);
    parser.addOption(calibrator);
    parser.addOption(checkCalibrator);
    parser.addOption(procedure);
    parser.addOption(validateDcc);
    parser.addOption(dccSummary);
    parser.addOption(dccRun);
    for (const char* name : kToolkitValueOptions)
        parser.addOption(hidden({QString::fromLatin1(name), QString(), QStringLiteral("value")}));
    for (const char* name : kToolkitFlags)
        parser.addOption(hidden(QCommandLineOption(QString::fromLatin1(name))));

    CommandLine result;
    const QString tryHelp = QStringLiteral("Try '%1 --help' for the options.").arg(program);
    if (!parser.parse(arguments)) {
        result.action = CommandLine::Action::Refuse;
        result.output = program + QStringLiteral(": ") + parser.errorText() + u'\n' + tryHelp;
        result.exitCode = 2;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.action = CommandLine::Action::Refuse;
        result.output = program + QStringLiteral(": Unexpected argument '") +
                        parser.positionalArguments().first() + QStringLiteral("'.\n") + tryHelp;
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = CommandLine::Action::ShowHelp;
        // Read before any application object exists, the parser cannot know
        // the program's name.
        result.output = parser.helpText().replace(QStringLiteral("<executable_name>"), program);
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::ShowVersion;
        result.output = QStringLiteral("TarnPilot ") + VersionText() + u'\n';
        return result;
    }
    if ((parser.isSet(budget) || parser.isSet(calibrator)) && !parser.isSet(check)) {
        result.action = CommandLine::Action::Refuse;
        result.output = program + QStringLiteral(": --%1 goes with --check-procedure.\n")
                                      .arg(parser.isSet(budget) ? QStringLiteral("budget") : QStringLiteral("calibrator"))
                        + tryHelp;
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(check))
        result.checkProcedure = parser.value(check);
    if (parser.isSet(checkDriver))
        result.checkDriver = parser.value(checkDriver);
    result.budget = parser.isSet(budget);
    if (parser.isSet(calibrator))
        result.calibrator = parser.value(calibrator);
    if (parser.isSet(checkCalibrator))
        result.checkCalibrator = parser.value(checkCalibrator);
    if (parser.isSet(procedure))
        result.procedure = parser.value(procedure);
    if (parser.isSet(validateDcc))
        result.validateDcc = parser.value(validateDcc);
    if (parser.isSet(dccSummary))
        result.dccSummary = parser.value(dccSummary);
    if (parser.isSet(dccRun))
        result.dccRun = parser.value(dccRun);
    return result;
}

} // namespace tarn
