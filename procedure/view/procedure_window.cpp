#include "procedure/view/procedure_window.h"

#include "procedure/bench.h"
#include "procedure/runner.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::view {

namespace {
using Stage = ProcedureRunner::Stage;

// One row of lstResults: what was taken, as the operator reads it.
QString resultRow(const PointResult& p, const NumberFormat& format)
{
    QString row = QStringLiteral("%1. %2, %3: %4").arg(p.point).arg(p.test, p.setting, verdictText(p.result));
    if (p.indicated && p.unit == u"MHz")
        row += QStringLiteral(" (") + shownValue(*p.indicated, p.unit, format) + u')';
    else if (p.error)
        row += QStringLiteral(" (error ") + shownValue(*p.error, p.unit, format)
               + (p.toleranceUsed ? QStringLiteral(", %1 % of tolerance").arg(*p.toleranceUsed, 0, 'f', 1)
                                  : QString())
               + u')';
    if (p.uncertainty)
        row += QStringLiteral(", U %1").arg(shownValue(*p.uncertainty, p.unit, format))
               + (p.tur ? QStringLiteral(", TUR %1").arg(QString::number(*p.tur, 'f', 1).replace(u'.', format.decimalSeparator))
                        : QString());
    return row;
}

// How a deviation point is taken, beside the test's own instruction.
QString stepHint(const ProcedureTest& test)
{
    if (test.method != TestMethod::Deviation)
        return {};
    return QStringLiteral("%1Step the deviation (main window, or Up and Down here; Page Up and Page Down "
                          "for large steps, Home for zero) until the trace spans exactly %2 div, then "
                          "Record (Enter).")
        .arg(test.instruction.isEmpty() ? QString() : QStringLiteral("\n"))
        .arg(test.divisions);
}

template <typename T>
T* named(QWidget* parent, const char* name)
{
    auto* w = new T(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// A condition's label, with the procedure's limits when it gives them.
QString conditionLabel(const QString& name, const std::optional<ConditionRange>& limits)
{
    if (!limits)
        return name + QLatin1Char(':');
    return QStringLiteral("%1, %2 to %3:").arg(name, resultsNumber(limits->lowest), resultsNumber(limits->highest));
}

// The point taken last: the one with the latest time, the last of the list
// on a tie (a point taken again after Back is not the last of the list).
const PointResult* latest(const QList<PointResult>& points)
{
    const PointResult* newest = nullptr;
    for (const PointResult& p : points)
        if (!newest || p.takenAt >= newest->takenAt)
            newest = &p;
    return newest;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = named<QPushButton>(parent, name);
    b->setText(caption);
    return b;
}
} // namespace

ProcedureWindow::ProcedureWindow(Bench& bench, RunRecords& records, std::function<void()> mirrorMainWindow,
                                 std::unique_ptr<ProcedureRunner> runner)
    : QWidget(nullptr, Qt::Window), bench_(bench), runRecords_(records),
      mirrorMainWindow_(std::move(mirrorMainWindow)), runner_(std::move(runner))
{
    setObjectName(QStringLiteral("frmProcedure"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Procedure: ") + runner_->procedure().title);
    // The records database, which writes the results file from what it stored.
    records_ = runRecords_.newSink();
    runner_->addSink(records_.get());
    build();
    txtOperator_->setText(runner_->rememberedOperator());
    // The main window's step buttons change the deviation too.
    live_ = new QTimer(this);
    live_->setInterval(200);
    connect(live_, &QTimer::timeout, this, [this] { lblUutError_->setText(runner_->liveErrorText()); });
    live_->start();
    // Readings taken from the unit under test come in while the runner goes
    // on by itself: the progress, the results list and both windows follow.
    runner_->setProgressListener([this] {
        refresh();
        if (mirrorMainWindow_)
            mirrorMainWindow_();
    });
    refresh();
}

ProcedureWindow::~ProcedureWindow() = default;

bool ProcedureWindow::running() const
{
    return runner_->stage() == Stage::Connect || runner_->stage() == Stage::Point;
}

void ProcedureWindow::build()
{
    auto* layout = new QVBoxLayout(this);

    details_ = new QWidget(this);
    auto* form = new QFormLayout(details_);
    const auto line = [&](QLineEdit*& edit, const char* name, const QString& label) {
        edit = named<QLineEdit>(details_, name);
        form->addRow(label, edit);
    };
    line(txtUnitModel_, "txtUnitModel", QStringLiteral("Unit model:"));
    line(txtUnitSerial_, "txtUnitSerial", QStringLiteral("Serial number (required):"));
    line(txtUnitAsset_, "txtUnitAsset", QStringLiteral("Asset number:"));
    line(txtUnitMaker_, "txtUnitMaker", QStringLiteral("Unit manufacturer:"));
    line(txtCustomer_, "txtCustomer", QStringLiteral("Customer:"));
    txtCustomerAddress_ = named<QPlainTextEdit>(details_, "txtCustomerAddress");
    txtCustomerAddress_->setTabChangesFocus(true);
    txtCustomerAddress_->setFixedHeight(txtCustomerAddress_->fontMetrics().lineSpacing() * 3 + 12);
    form->addRow(QStringLiteral("Customer address:"), txtCustomerAddress_);
    txtDateReceived_ = named<QDateEdit>(details_, "txtDateReceived");
    txtDateReceived_->setCalendarPopup(true);
    txtDateReceived_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    txtDateReceived_->setDate(QDate::currentDate());
    form->addRow(QStringLiteral("Date received:"), txtDateReceived_);
    cboCondition_ = named<QComboBox>(details_, "cboCondition");
    cboCondition_->setEditable(true);
    cboCondition_->addItems({QStringLiteral("good"), QStringLiteral("damaged"), QStringLiteral("not working")});
    form->addRow(QStringLiteral("Condition on receipt:"), cboCondition_);
    line(txtOperator_, "txtOperator", QStringLiteral("Operator (required):"));
    line(txtTemperature_, "txtTemperature", conditionLabel(QStringLiteral("Temperature (°C)"),
                                                           runner_->procedure().temperature));
    line(txtHumidity_, "txtHumidity", conditionLabel(QStringLiteral("Humidity (% RH)"),
                                                     runner_->procedure().humidity));
    cmdBegin_ = button(details_, "cmdBegin", QStringLiteral("&Begin"));
    form->addRow(QString(), cmdBegin_);
    layout->addWidget(details_);

    point_ = new QWidget(this);
    auto* p = new QVBoxLayout(point_);
    lblTestName_ = named<QLabel>(point_, "lblTestName");
    QFont bold = lblTestName_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    lblTestName_->setFont(bold);
    lblInstruction_ = named<QLabel>(point_, "lblInstruction");
    lblInstruction_->setWordWrap(true);
    lblInstruction_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A long instruction scrolls rather than being clipped.
    auto* instruction = named<QScrollArea>(point_, "scrInstruction");
    instruction->setWidget(lblInstruction_);
    instruction->setWidgetResizable(true);
    instruction->setFrameShape(QFrame::NoFrame);
    instruction->setMinimumHeight(lblInstruction_->fontMetrics().lineSpacing() * 5);
    lblStimulus_ = named<QLabel>(point_, "lblStimulus");
    lblStimulus_->setFont(bold);
    lblLimits_ = named<QLabel>(point_, "lblLimits");
    lblUncertainty_ = named<QLabel>(point_, "lblUncertainty");
    pbrProgress_ = named<QProgressBar>(point_, "pbrProgress");
    lblProgress_ = named<QLabel>(point_, "lblProgress");
    p->addWidget(lblTestName_);
    p->addWidget(instruction, 1);
    p->addWidget(lblStimulus_);
    auto* limits = new QHBoxLayout;
    limits->addWidget(lblLimits_);
    limits->addWidget(lblUncertainty_, 1);
    p->addLayout(limits);
    auto* progress = new QHBoxLayout;
    progress->addWidget(pbrProgress_, 1);
    progress->addWidget(lblProgress_);
    p->addLayout(progress);

    auto* reading = new QHBoxLayout;
    txtReading_ = named<QLineEdit>(point_, "txtReading");
    lblReadingUnit_ = named<QLabel>(point_, "lblReadingUnit");
    lblUutError_ = named<QLabel>(point_, "lblUutError");
    lblReadingCount_ = named<QLabel>(point_, "lblReadingCount");
    reading->addWidget(lblReadingCount_);
    reading->addWidget(txtReading_, 1);
    reading->addWidget(lblReadingUnit_);
    reading->addWidget(lblUutError_, 1);
    p->addLayout(reading);
    txtRemark_ = named<QLineEdit>(point_, "txtRemark");
    txtRemark_->setPlaceholderText(QStringLiteral("Remark on this point (optional)"));
    p->addWidget(txtRemark_);

    auto* buttons = new QHBoxLayout;
    cmdContinue_ = button(point_, "cmdContinue", QStringLiteral("&Continue (output on)"));
    cmdRecord_ = button(point_, "cmdRecord", QStringLiteral("&Record"));
    cmdPass_ = button(point_, "cmdPass", QStringLiteral("&Pass"));
    cmdFail_ = button(point_, "cmdFail", QStringLiteral("&Fail"));
    cmdSkip_ = button(point_, "cmdSkip", QStringLiteral("&Skip"));
    cmdBack_ = button(point_, "cmdBack", QStringLiteral("B&ack"));
    cmdAbort_ = button(point_, "cmdAbort", QStringLiteral("Abor&t"));
    for (QPushButton* b : {cmdContinue_, cmdRecord_, cmdPass_, cmdFail_, cmdSkip_, cmdBack_, cmdAbort_})
        buttons->addWidget(b);
    p->addLayout(buttons);
    layout->addWidget(point_);

    lstResults_ = named<QListWidget>(this, "lstResults");
    layout->addWidget(lstResults_, 1);
    lblOverall_ = named<QLabel>(this, "lblOverall");
    QFont big = bold;
    big.setPointSizeF(bold.pointSizeF() * 1.6);
    lblOverall_->setFont(big);
    lblOverall_->setAlignment(Qt::AlignCenter);
    layout->addWidget(lblOverall_);
    // The last page: the run's records.
    finished_ = new QWidget(this);
    auto* last = new QHBoxLayout(finished_);
    txtAdjustment_ = named<QLineEdit>(finished_, "txtAdjustment");
    txtAdjustment_->setPlaceholderText(QStringLiteral("What was adjusted (required to run again)"));
    last->addWidget(txtAdjustment_, 1);
    cmdRunAgain_ = button(finished_, "cmdRunAgain", QStringLiteral("Ad&just and run again"));
    cmdCertificate_ = button(finished_, "cmdCertificate", QStringLiteral("C&ertificate"));
    cmdHistory_ = button(finished_, "cmdHistory", QStringLiteral("&History..."));
    for (QPushButton* b : {cmdRunAgain_, cmdCertificate_, cmdHistory_})
        last->addWidget(b);
    layout->addWidget(finished_);
    resize(680, 720);

    connect(cmdBegin_, &QPushButton::clicked, this, [this] { begin(); });
    connect(cmdContinue_, &QPushButton::clicked, this, [this] { act([this] { runner_->Continue(); }); });
    connect(cmdRecord_, &QPushButton::clicked, this, [this] { record(); });
    connect(cmdPass_, &QPushButton::clicked, this, [this] { act([this] { runner_->Judge(true); }); });
    connect(cmdFail_, &QPushButton::clicked, this, [this] { act([this] { runner_->Judge(false); }); });
    connect(cmdSkip_, &QPushButton::clicked, this, [this] { act([this] { runner_->Skip(); }); });
    connect(cmdBack_, &QPushButton::clicked, this, [this] { act([this] { runner_->Back(); }); });
    connect(cmdAbort_, &QPushButton::clicked, this, [this] { act([this] { runner_->Abort(); }, true); });
    connect(cmdRunAgain_, &QPushButton::clicked, this, [this] {
        act([this] {
            if (runner_->RunAgain(txtAdjustment_->text()))
                txtAdjustment_->clear();
        });
    });
    connect(cmdCertificate_, &QPushButton::clicked, this,
            [this] { runRecords_.certificate(runner_->record().info.runId); });
    connect(cmdHistory_, &QPushButton::clicked, this,
            [this] { runRecords_.history(runner_->record().info.unitSerial); });

    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter})
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, [this] { enter(); });
    // The deviation steps from the runner's keys, the main window's own:
    // Up and Down, Page Up and Page Down the large steps, Home zero.
    const std::pair<QKeySequence, const char*> steps[] = {
        {QKeySequence(Qt::Key_Down), "cmdDevDown"},
        {QKeySequence(Qt::Key_Up), "cmdDevUp"},
        {QKeySequence(Qt::Key_PageDown), "cmdDevDownLarge"},
        {QKeySequence(Qt::Key_PageUp), "cmdDevUpLarge"},
        {QKeySequence(Qt::Key_Home), "cmdDevZero"},
    };
    for (const auto& [keys, name] : steps) {
        auto* shortcut = new QShortcut(keys, this);
        const QString control = QString::fromLatin1(name);
        connect(shortcut, &QShortcut::activated, this,
                [this, control] { act([this, control] { runner_->Step(control); }); });
    }
}

void ProcedureWindow::act(const std::function<void()>& action, bool waitWhileBusy)
{
    if (bench_.busy()) {
        if (waitWhileBusy)
            QTimer::singleShot(50, this, [this, action] { act(action, true); });
        return;
    }
    action();
    refresh();
    if (mirrorMainWindow_)
        mirrorMainWindow_();
}

void ProcedureWindow::begin()
{
    act([this] {
        RunDetails d;
        d.unitModel = txtUnitModel_->text();
        d.unitSerial = txtUnitSerial_->text();
        d.unitAsset = txtUnitAsset_->text();
        d.customer = txtCustomer_->text();
        d.operatorName = txtOperator_->text();
        d.temperature = txtTemperature_->text();
        d.humidity = txtHumidity_->text();
        d.customerAddress = txtCustomerAddress_->toPlainText();
        d.unitMaker = txtUnitMaker_->text();
        d.dateReceived = txtDateReceived_->date();
        d.condition = cboCondition_->currentText();
        runner_->Begin(d);
    });
}

void ProcedureWindow::record()
{
    act([this] {
        runner_->setRemark(txtRemark_->text());
        if (runner_->Record(txtReading_->text())) {
            txtReading_->clear();
            txtRemark_->clear();
        } else {
            // Back to the box with the text selected, to be typed again.
            txtReading_->setFocus();
            txtReading_->selectAll();
        }
    });
}

void ProcedureWindow::enter()
{
    if (cmdBegin_->isVisible())
        begin();
    else if (cmdContinue_->isVisible())
        cmdContinue_->click();
    else if (cmdRecord_->isVisible())
        record();
}

void ProcedureWindow::refresh()
{
    const Stage stage = runner_->stage();
    const bool started = stage != Stage::Details;
    details_->setEnabled(!started);
    cmdBegin_->setVisible(!started);
    point_->setVisible(started);

    const bool atPoint = stage == Stage::Point;
    const bool connect = stage == Stage::Connect;
    const bool running = atPoint || connect;
    if (running) {
        const ProcedureTest& test = runner_->test();
        lblTestName_->setText(test.name);
        lblInstruction_->setText(connect ? (test.instruction.isEmpty()
                                                ? QStringLiteral("Make the connection for this test.")
                                                : test.instruction)
                                                + QStringLiteral("\n\nThe output is off. Continue when ready.")
                                         : test.instruction + stepHint(test));
        lblStimulus_->setText(runner_->stimulusText());
        lblLimits_->setText(runner_->limitsText());
        lblUncertainty_->setText(runner_->uncertaintyText());
        // A point below the procedure's minimum TUR is marked before it is recorded.
        lblUncertainty_->setStyleSheet(runner_->belowMinTur() ? QStringLiteral("color: rgb(192, 0, 0); font-weight: bold;")
                                                              : QString());
        lblProgress_->setText(runner_->progressText());
        pbrProgress_->setRange(0, runner_->pointCount());
        pbrProgress_->setValue(runner_->pointNumber() - 1);
    }
    const TestMethod method = running ? runner_->method() : TestMethod::Check;
    const bool typed = atPoint && (method == TestMethod::Reading || method == TestMethod::RiseTime);
    cmdContinue_->setVisible(connect);
    txtReading_->setVisible(typed);
    lblReadingUnit_->setVisible(typed);
    lblReadingUnit_->setText(running ? runner_->readingUnit() : QString());
    lblReadingCount_->setText(runner_->readingCountText());
    lblReadingCount_->setVisible(typed && !lblReadingCount_->text().isEmpty());
    lblUutError_->setVisible(atPoint && method == TestMethod::Deviation);
    lblUutError_->setText(runner_->liveErrorText());
    cmdRecord_->setVisible(atPoint && method != TestMethod::Check);
    cmdPass_->setVisible(atPoint && method == TestMethod::Check);
    cmdFail_->setVisible(atPoint && method == TestMethod::Check);
    cmdSkip_->setVisible(running);
    cmdBack_->setVisible(running);
    cmdBack_->setEnabled(runner_->canGoBack());
    cmdAbort_->setVisible(running);
    if (typed && !txtReading_->hasFocus())
        txtReading_->setFocus();

    const NumberFormat format = bench_.numberFormat();
    const QList<PointResult>& points = runner_->record().points;
    lstResults_->clear();
    for (const PointResult& p : points)
        lstResults_->addItem(resultRow(p, format));
    // The list follows the point taken last.
    if (const PointResult* newest = latest(points)) {
        lstResults_->setCurrentRow(static_cast<int>(newest - points.data()));
        lstResults_->scrollToItem(lstResults_->currentItem());
    }
    finished_->setVisible(stage == Stage::Finished);
    txtRemark_->setVisible(atPoint && method != TestMethod::Check);
    setWindowTitle(QStringLiteral("Procedure: ") + runner_->procedure().title
                   + (runner_->asLeft() ? QStringLiteral(" — As left (after adjustment)") : QString()));
    txtAdjustment_->setVisible(runner_->canRunAgain());
    if (stage != Stage::Finished)
        lblOverall_->setText(runner_->asLeft() && stage != Stage::Details ? QStringLiteral("As left (after adjustment)")
                                                                          : QString());
    cmdRunAgain_->setVisible(runner_->canRunAgain());
    if (stage == Stage::Finished) {
        pbrProgress_->setValue(runner_->pointCount());
        const Overall overall = runner_->record().info.overall.value_or(Overall::Incomplete);
        lblOverall_->setText(overallText(overall));
        lblInstruction_->setText(QStringLiteral("The run has ended; the output is off. Results: ")
                                 + runRecords_.resultsFilePath(runner_->record().info));
        for (QWidget* w : std::initializer_list<QWidget*>{lblStimulus_, lblLimits_, lblUncertainty_, lblProgress_})
            static_cast<QLabel*>(w)->clear();
    }
}

void ProcedureWindow::closeEvent(QCloseEvent* event)
{
    // Closing ends an unfinished run: the output goes off and the run is
    // recorded as aborted. A close while a command is being sent waits
    // until it has gone, so that the "OFF" comes after it.
    if (bench_.busy() && !bench_.closed()) {
        event->ignore();
        QTimer::singleShot(50, this, [this] { close(); });
        return;
    }
    act([this] { runner_->Close(); });
    event->accept();
}

} // namespace tarn::view
