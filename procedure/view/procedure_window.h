#pragma once
// The procedure runner on screen: a window of its own beside the main
// window, which stays the display of what is applied. It forwards the
// operator's actions to the runner core and mirrors it after each.

#include "platform/platform.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class QComboBox;
class QDateEdit;
class QLabel;
class QPlainTextEdit;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tarn {

class Bench;
class ProcedureRunner;
class ResultsSink;
class RunRecords;

namespace view {

class ProcedureWindow : public QWidget {
    Q_OBJECT

public:
    // mirrorMainWindow shows the main window's model after each action.
    ProcedureWindow(Bench& bench, RunRecords& records, std::function<void()> mirrorMainWindow,
                    std::unique_ptr<ProcedureRunner> runner);
    ~ProcedureWindow() override;

    ProcedureRunner& runner() { return *runner_; }
    // Whether a run has begun and not ended.
    bool running() const;
    // Mirrors the runner into the widgets.
    void refresh();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    // Runs an action of the operator and mirrors both windows. While the
    // main window sends, an action is dropped, as the main window drops
    // its own input then; one that switches the output off waits instead.
    void act(const std::function<void()>& action, bool waitWhileBusy = false);
    void begin();
    void record();
    void enter();

    Bench& bench_;
    RunRecords& runRecords_;
    std::function<void()> mirrorMainWindow_;
    std::unique_ptr<ResultsSink> records_;
    std::unique_ptr<ProcedureRunner> runner_;
    QTimer* live_ = nullptr;
    QLineEdit *txtUnitModel_, *txtUnitSerial_, *txtUnitAsset_, *txtCustomer_, *txtOperator_,
        *txtTemperature_, *txtHumidity_, *txtReading_, *txtUnitMaker_, *txtRemark_;
    QPlainTextEdit* txtCustomerAddress_ = nullptr;
    QDateEdit* txtDateReceived_ = nullptr;
    QComboBox* cboCondition_ = nullptr;
    QLineEdit* txtAdjustment_ = nullptr;
    QLabel *lblTestName_, *lblInstruction_, *lblStimulus_, *lblLimits_, *lblProgress_,
        *lblReadingUnit_, *lblUutError_, *lblOverall_, *lblUncertainty_, *lblReadingCount_;
    QProgressBar* pbrProgress_;
    QPushButton *cmdBegin_, *cmdContinue_, *cmdRecord_, *cmdPass_, *cmdFail_, *cmdSkip_, *cmdBack_,
        *cmdAbort_;
    QListWidget* lstResults_;
    QWidget* finished_ = nullptr;
    QPushButton *cmdRunAgain_ = nullptr, *cmdCertificate_ = nullptr, *cmdHistory_ = nullptr;
    QWidget* details_ = nullptr;
    QWidget* point_ = nullptr;
};

} // namespace view
} // namespace tarn
