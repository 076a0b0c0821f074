#pragma once
// The front panel as a procedure drives it. Every setting goes through the
// panels' own entry points, which run the handlers an operator's clicks
// would; the runner never writes a control itself. The program's
// composition gives the runner the main window behind this interface.

#include "amplitude/amplitude_panel.h"
#include "platform/platform.h"
#include "procedure/procedure.h"

#include <QString>
#include <QThread>

#include <memory>

namespace tarn {

class CommandLog;

class Bench {
public:
    virtual ~Bench() = default;

    // --- The window ----------------------------------------------------------
    // While a command is being sent, the operator's actions wait.
    virtual bool busy() const = 0;
    // The main window has closed: nothing more reaches the calibrator.
    virtual bool closed() const = 0;
    virtual NumberFormat numberFormat() const = 0;
    virtual MessageResult showMessage(const MessageRequest& request) = 0;
    // The calibrator as records name it.
    virtual QString calibratorIdentity() const = 0;
    // A value of the settings file, and its writing.
    virtual QString setting(const QString& section, const QString& key) const = 0;
    virtual void storeSetting(const QString& section, const QString& key, const QString& value) = 0;
    // The calibrator file runs use: `[Procedures] Calibrator=` of
    // the settings file, else the one shipped beside the program; empty
    // when there is none.
    virtual QString calibratorSpecFile() const = 0;

    // --- The panels ------------------------------------------------------------
    virtual void OutputZero() = 0;
    // The function's option, as the operator clicks it (which starts its
    // panel afresh), and whether it is the one selected.
    virtual void SelectFunction(TestFunction function) = 0;
    virtual bool FunctionSelected(TestFunction function) const = 0;
    virtual void ApplyAmplitude(const AmplitudeSetting& setting) = 0;
    virtual bool AmplitudeHolds(const AmplitudeSetting& setting) const = 0;
    // Volts per division of the last "A " command sent.
    virtual double LastVoltsPerDivisionSent() const = 0;
    virtual void ApplyFrequency(double hertz) = 0;
    virtual void ApplyPeriod(double seconds) = 0;
    // A button of the main window clicked (the deviation steps).
    virtual void Click(const QString& button) = 0;

    // --- The unit under test ---------------------------------------------------
    // The command log its exchanges are added to; none by default.
    virtual CommandLog* commandLog() { return nullptr; }
    // Waits, the windows answering meanwhile (Abort among it); by default
    // it only sleeps.
    virtual void wait(int milliseconds)
    {
        if (milliseconds > 0)
            QThread::msleep(static_cast<unsigned long>(milliseconds));
    }
    // The folder of the shipped drivers; empty: "drivers" beside the program.
    virtual QString driversFolder() const { return {}; }
};

// What the program keeps of a run beyond the runner: the records, which
// the program's composition gives the runner's window.
class RunRecords {
public:
    virtual ~RunRecords() = default;
    // A sink for the results of the window's runs; the window owns it.
    virtual std::unique_ptr<ResultsSink> newSink() = 0;
    // Where the results file of a run lies.
    virtual QString resultsFilePath(const RunInfo& info) = 0;
    // Draws the run's certificate and opens it.
    virtual void certificate(const QString& runId) = 0;
    // The history window, at the runs of a serial number.
    virtual void history(const QString& serial) = 0;
};

} // namespace tarn
