#include "records/view/history_view.h"

#include "records/certificate.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTreeWidget>

namespace tarn {

namespace {

template <typename W, typename... Args>
W* named(const char* name, Args&&... args)
{
    auto* w = new W(std::forward<Args>(args)...);
    w->setObjectName(QLatin1String(name));
    return w;
}

QTreeWidget* table(const char* name, const QStringList& columns)
{
    auto* t = named<QTreeWidget>(name);
    t->setColumnCount(int(columns.size()));
    t->setHeaderLabels(columns);
    t->setRootIsDecorated(false);
    t->setUniformRowHeights(true);
    t->setAllColumnsShowFocus(true);
    t->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return t;
}

const QStringList kAttemptColumns = {QStringLiteral("Attempt"), QStringLiteral("Taken"),
                                     QStringLiteral("By"), QStringLiteral("Correction")};

QStringList attemptRow(const PointResult& p)
{
    const QString taken = p.takenAt.isValid()
                              ? p.takenAt.toOffsetFromUtc(p.takenAt.offsetFromUtc()).toString(Qt::ISODate)
                              : QString();
    return certificateRow(p) + QStringList{QString::number(p.attempt), taken, p.takenBy, p.correctionReason};
}

} // namespace

HistoryView::HistoryView(Records& records, const Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(records, services)
{
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("Calibration history"));
    resize(900, 640);

    serial_ = named<QLineEdit>("txtSerial");
    find_ = named<QPushButton>("cmdFind", QStringLiteral("&Find"));
    note_ = named<QLabel>("lblNote");
    note_->setWordWrap(true);
    runs_ = table("lstRuns", History::columns());
    // Each point's last attempt, the earlier ones below it.
    points_ = table("lstPoints", certificateColumns() + kAttemptColumns);
    points_->setRootIsDecorated(true);
    csv_ = named<QPlainTextEdit>("txtCsv");
    csv_->setReadOnly(true);
    csv_->setLineWrapMode(QPlainTextEdit::NoWrap);
    csv_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    writeCsv_ = named<QPushButton>("cmdCsv", QStringLiteral("Write &CSV"));
    certificate_ = named<QPushButton>("cmdCertificate", QStringLiteral("Cer&tificate"));
    correct_ = named<QPushButton>("cmdCorrect", QStringLiteral("C&orrect point..."));
    approve_ = named<QPushButton>("cmdApprove", QStringLiteral("&Approve and issue..."));
    dcc_ = named<QPushButton>("cmdDcc", QStringLiteral("Write &DCC"));
    copy_ = named<QPushButton>("cmdCopyPending", QStringLiteral("Copy to &server"));
    pending_ = named<QLabel>("lblPending");
    auto* close = named<QPushButton>("cmdClose", QStringLiteral("Close"));

    auto* label = new QLabel(QStringLiteral("&Serial number:"));
    label->setBuddy(serial_);
    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(serial_, 1);
    top->addWidget(find_);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(runs_);
    split->addWidget(points_);
    split->addWidget(csv_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(writeCsv_);
    buttons->addWidget(certificate_);
    buttons->addWidget(correct_);
    buttons->addWidget(approve_);
    buttons->addWidget(dcc_);
    buttons->addSpacing(24);
    buttons->addWidget(copy_);
    buttons->addWidget(pending_, 1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(note_);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);

    connect(serial_, &QLineEdit::returnPressed, this, &HistoryView::find);
    connect(find_, &QPushButton::clicked, this, &HistoryView::find);
    connect(runs_, &QTreeWidget::currentItemChanged, this, [this] { openRow(); });
    connect(writeCsv_, &QPushButton::clicked, this, [this] {
        const QString path = history_.writeCsv();
        if (!path.isEmpty())
            note_->setText(QStringLiteral("Results file written: %1").arg(path));
    });
    connect(certificate_, &QPushButton::clicked, this, [this] {
        const QString path = history_.certificate();
        if (path.isEmpty())
            return;
        refresh();
        selectCurrent();
        note_->setText(QStringLiteral("Certificate written: %1").arg(path));
    });
    connect(correct_, &QPushButton::clicked, this, &HistoryView::correct);
    connect(approve_, &QPushButton::clicked, this, &HistoryView::approve);
    connect(dcc_, &QPushButton::clicked, this, [this] {
        const QString path = history_.writeDcc();
        if (!path.isEmpty())
            note_->setText(QStringLiteral("Digital Calibration Certificate written: %1").arg(path));
    });
    connect(copy_, &QPushButton::clicked, this, [this] {
        history_.copyToServer();
        refresh();
    });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this, &QWidget::close);
    refresh();
}

void HistoryView::showSerial(const QString& serial)
{
    serial_->setText(serial);
    if (!serial.trimmed().isEmpty())
        find();
    serial_->setFocus();
}

void HistoryView::find()
{
    history_.find(serial_->text());
    refresh();
    if (runs_->topLevelItemCount() > 0)
        runs_->setCurrentItem(runs_->topLevelItem(0));
}

void HistoryView::refresh()
{
    const QSignalBlocker block(runs_);
    runs_->clear();
    for (const RunSummary& run : history_.runs())
        runs_->addTopLevelItem(new QTreeWidgetItem(History::rowTexts(run)));
    QString note = history_.note();
    if (!history_.serial().isEmpty() && history_.runs().isEmpty())
        note = QStringLiteral("No runs of serial number %1 are recorded.").arg(history_.serial())
               + (note.isEmpty() ? QString() : QLatin1Char(' ') + note);
    note_->setText(note);
    copy_->setEnabled(history_.hasServer());
    const int waiting = history_.hasServer() ? history_.pending() : 0;
    pending_->setText(history_.hasServer()
                          ? QStringLiteral("%1 record(s) waiting for the server").arg(waiting)
                          : QStringLiteral("No records server is set"));
    fillPoints();
}

void HistoryView::openRow()
{
    history_.open(runs_->indexOfTopLevelItem(runs_->currentItem()));
    fillPoints();
}

void HistoryView::fillPoints()
{
    points_->clear();
    const auto& run = history_.current();
    if (run)
        for (const PointResult& p : run->points) {
            auto* item = new QTreeWidgetItem(attemptRow(p));
            item->setData(0, Qt::UserRole, p.point);
            for (const PointResult& earlier : history_.attempts())
                if (earlier.point == p.point && earlier.attempt != p.attempt)
                    item->addChild(new QTreeWidgetItem(attemptRow(earlier)));
            points_->addTopLevelItem(item);
        }
    points_->expandAll();
    csv_->setPlainText(QString::fromUtf8(history_.csv()));
    writeCsv_->setEnabled(run.has_value());
    certificate_->setEnabled(run.has_value() && run->info.end.isValid());
    correct_->setEnabled(history_.canCorrect());
    approve_->setEnabled(history_.canApprove());
    dcc_->setEnabled(history_.canWriteDcc());
}

void HistoryView::selectCurrent()
{
    const RunSummary* opened = history_.currentSummary();
    if (!opened)
        return;
    for (int row = 0; row < runs_->topLevelItemCount(); ++row)
        if (history_.runs().value(row).runId == opened->runId) {
            const QSignalBlocker block(runs_);
            runs_->setCurrentItem(runs_->topLevelItem(row));
        }
}

void HistoryView::correct()
{
    const auto& run = history_.current();
    if (!run || !history_.canCorrect())
        return;
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("frmCorrect"));
    dialog.setWindowTitle(QStringLiteral("Correct point"));
    auto* point = named<QComboBox>("cboPoint");
    for (const PointResult& p : run->points)
        point->addItem(QStringLiteral("%1: %2, %3").arg(p.point).arg(p.test, p.setting), p.point);
    if (QTreeWidgetItem* chosen = points_->currentItem()) {
        while (chosen->parent())
            chosen = chosen->parent();
        point->setCurrentIndex(point->findData(chosen->data(0, Qt::UserRole)));
    }
    auto* value = named<QLineEdit>("txtValue");
    value->setPlaceholderText(QStringLiteral("the value observed, e.g. 4.075 mV; Pass or Fail for a check"));
    auto* reason = named<QLineEdit>("txtReason");
    auto* person = named<QLineEdit>("txtCorrectedBy");
    auto* buttons = named<QDialogButtonBox>("cmdButtons", QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("&Point:"), point);
    form->addRow(QStringLiteral("New &value:"), value);
    form->addRow(QStringLiteral("&Reason:"), reason);
    form->addRow(QStringLiteral("Corrected &by:"), person);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (history_.correct(point->currentData().toInt(), value->text(), reason->text(), person->text(),
                         QDateTime::currentDateTime())) {
        refresh();
        selectCurrent();
        note_->setText(QStringLiteral("Point %1 corrected.").arg(point->currentData().toInt()));
    }
}

void HistoryView::approve()
{
    if (!history_.canApprove())
        return;
    QInputDialog dialog(this);
    dialog.setObjectName(QStringLiteral("frmApprove"));
    dialog.setWindowTitle(QStringLiteral("Approve and issue"));
    dialog.setLabelText(QStringLiteral("The results have been reviewed and the certificate is "
                                       "authorised by (name):"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString path = history_.approve(dialog.textValue(), QDateTime::currentDateTime());
    if (path.isEmpty())
        return;
    refresh();
    selectCurrent();
    note_->setText(QStringLiteral("Certificate issued and written: %1").arg(path));
}

} // namespace tarn
