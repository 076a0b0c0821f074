#pragma once
// The program's command line. It is read before any window or display is
// needed, so that --help and --version work on a machine without one.

#include <QString>
#include <QStringList>

#include <optional>

namespace tarn {

struct CommandLine {
    enum class Action {
        Run,          // start the window
        ShowHelp,     // print `output` on standard output, exit 0
        ShowVersion,  // print `output` on standard output, exit 0
        Refuse,       // print `output` on standard error, exit 2
    };
    Action action = Action::Run;
    QString output;
    int exitCode = 0;
    // Handed on to the procedure runner.
    std::optional<QString> checkProcedure;
    std::optional<QString> checkDriver;
    bool budget = false;                    // --check-procedure prints each point's budget
    std::optional<QString> calibrator;      // the calibrator file for --check-procedure
    std::optional<QString> checkCalibrator;
    std::optional<QString> procedure;
    // The Digital Calibration Certificate: validate a file, summarise one,
    // or write that of a stored run; each without the window.
    std::optional<QString> validateDcc;
    std::optional<QString> dccSummary;
    std::optional<QString> dccRun;
};

// The program's version as "2.1.0".
QString VersionText();

// The About box's text: the program and its version, the Qt version in
// use, the licence; lines separated by carriage returns.
QString AboutText();

// Reads the arguments, the program's own name first. The window system's
// own options (-platform, -style, ...) are accepted and left to it.
CommandLine ParseCommandLine(const QStringList& arguments);

} // namespace tarn
