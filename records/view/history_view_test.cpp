#include "app/view/gui_test_harness.h"
#include "records/records_test_support.h"
#include "records/dcc.h"
#include "records/dcc_validation.h"
#include "records/view/history_view.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTreeWidget>

namespace tarn::testing {
namespace {

QWidget* topLevel(const QString& name)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

QString pdfText(const QString& path)
{
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    EXPECT_TRUE(text.waitForFinished(30000));
    return QString::fromUtf8(text.readAllStandardOutput());
}

// Fills in the next modal dialog once it is open and presses its OK.
void answerDialog(std::function<void(QDialog*)> fill)
{
    QTimer::singleShot(0, [fill] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        fill(dialog);
        auto* box = dialog->findChild<QDialogButtonBox*>();
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
}

// Stores a run through the sink as the runner would; ended unless cut off.
QString store(Records& records, RunRecord run, bool end)
{
    RecordsSink sink(records, nullptr);
    QString error;
    EXPECT_TRUE(sink.beginRun(run.info, &error)) << error.toStdString();
    for (const auto& p : run.points) {
        EXPECT_TRUE(sink.recordPoint(run, p, &error));
    }
    if (end) {
        EXPECT_TRUE(sink.endRun(endedRun(run), &error));
    }
    return sink.runId();
}

// The history window reached from the Setup panel: a unit's runs newest
// first, a past run's points and CSV from the database, the draft
// certificate of an adjusted unit with both runs, a point corrected, the
// approval that issues the certificate, and the amended record after it.
TEST(HistoryWindow, ListsAUnitsRunsAndRegeneratesTheirRecords)
{
    QTemporaryDir dir;
    RecordsSettings settings;
    settings.folder = dir.path();
    QString found;
    {
        Records records(settings);
        RunRecord first = sampleRun();
        found = store(records, first, true);
        RunRecord left = sampleRun();
        left.info.asFoundRunId = found;
        left.info.start = first.info.start.addSecs(3600);
        left.points[1].result = Verdict::Pass;
        store(records, left, true);
        RunRecord cut = sampleRun();
        cut.info.start = first.info.start.addSecs(7200);
        cut.points.removeLast();
        store(records, cut, false);
        store(records, sampleRun(QStringLiteral("OTHER-1")), true);
    }

    GuiHarness h;
    h.memoryProfile.values[{kSettingsPath, QStringLiteral("procedures\nrecords")}] = dir.path();
    h.memoryProfile.values[{kSettingsPath, QStringLiteral("laboratory\nname")}] = QStringLiteral("Tarn Lab");
    h.memoryProfile.values[{kSettingsPath, QStringLiteral("laboratory\ncountry")}] = QStringLiteral("GB");
    h.start();
    h.click(QStringLiteral("optFunction(4)"));
    ASSERT_EQ(h.widget<QPushButton>(QStringLiteral("cmdHistory"))->text(), QStringLiteral("History..."));
    h.click(QStringLiteral("cmdHistory"));
    auto* window = qobject_cast<HistoryView*>(topLevel(QStringLiteral("frmHistory")));
    ASSERT_NE(window, nullptr);
    auto* runs = window->findChild<QTreeWidget*>(QStringLiteral("lstRuns"));
    auto* points = window->findChild<QTreeWidget*>(QStringLiteral("lstPoints"));
    auto* csv = window->findChild<QPlainTextEdit*>(QStringLiteral("txtCsv"));
    auto* certificate = window->findChild<QPushButton*>(QStringLiteral("cmdCertificate"));
    auto* dcc = window->findChild<QPushButton*>(QStringLiteral("cmdDcc"));
    QTest::keyClicks(window->findChild<QLineEdit*>(QStringLiteral("txtSerial")), QStringLiteral("SN-1042"));
    QTest::keyClick(window->findChild<QLineEdit*>(QStringLiteral("txtSerial")), Qt::Key_Return);

    ASSERT_EQ(runs->topLevelItemCount(), 3);
    const char* results[] = {"INCOMPLETE (not ended)", "PASS, as left", "FAIL"};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(runs->topLevelItem(row)->text(3), QLatin1String(results[row])) << row;
        EXPECT_EQ(runs->topLevelItem(row)->text(2), QStringLiteral("J. Doe"));
    }
    EXPECT_EQ(runs->topLevelItem(2)->text(0), QStringLiteral("2026-12-09 03:04"));
    // The run cut off shows what it recorded and has no certificate.
    EXPECT_EQ(points->topLevelItemCount(), 2);
    EXPECT_FALSE(certificate->isEnabled());
    EXPECT_FALSE(dcc->isEnabled());
    EXPECT_FALSE(window->findChild<QPushButton*>(QStringLiteral("cmdCopyPending"))->isEnabled());

    // The run as found: its points and its results file from the database.
    runs->setCurrentItem(runs->topLevelItem(2));
    ASSERT_EQ(points->topLevelItemCount(), 3);
    EXPECT_EQ(points->topLevelItem(1)->text(9), QStringLiteral("Fail"));
    RunRecord expected = endedRun(sampleRun());
    expected.info.runId = found;
    EXPECT_EQ(window->history().csv(), ResultsCsv(expected));
    EXPECT_EQ(csv->toPlainText(), QString::fromUtf8(ResultsCsv(expected)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

    // Before approval its certificate is a draft: it shows the run as
    // found and the run after it as left, and has no number.
    ASSERT_TRUE(certificate->isEnabled());
    QTest::mouseClick(certificate, Qt::LeftButton);
    ASSERT_EQ(h.documents.opened.size(), 1);
    EXPECT_TRUE(h.documents.opened[0].endsWith(QStringLiteral("-draft.pdf"))) << h.documents.opened[0].toStdString();
    const QString number = QStringLiteral("CAL/%1/0001").arg(QDate::currentDate().year());
    const QString pdf = pdfText(h.documents.opened[0]);
    for (const char* part : {"Tarn Lab", "Results as found", "Results as left", "Page 1 of"})
        EXPECT_TRUE(pdf.contains(QLatin1String(part))) << part;
    EXPECT_FALSE(pdf.contains(number));
    EXPECT_EQ(runs->topLevelItem(1)->text(4), QStringLiteral("not issued"));

    // Point 2 as found corrected: the new value is the point's result, the
    // reading as taken stays below it.
    auto* correct = window->findChild<QPushButton*>(QStringLiteral("cmdCorrect"));
    ASSERT_TRUE(correct->isEnabled());
    points->setCurrentItem(points->topLevelItem(1));
    answerDialog([](QDialog* d) {
        EXPECT_EQ(d->objectName(), QStringLiteral("frmCorrect"));
        EXPECT_EQ(d->findChild<QComboBox*>(QStringLiteral("cboPoint"))->currentData().toInt(), 2);
        QTest::keyClicks(d->findChild<QLineEdit*>(QStringLiteral("txtValue")), QStringLiteral("1.000004"));
        QTest::keyClicks(d->findChild<QLineEdit*>(QStringLiteral("txtReason")), QStringLiteral("misread"));
        QTest::keyClicks(d->findChild<QLineEdit*>(QStringLiteral("txtCorrectedBy")), QStringLiteral("A. Smith"));
    });
    QTest::mouseClick(correct, Qt::LeftButton);
    ASSERT_EQ(points->topLevelItemCount(), 3);
    QTreeWidgetItem* corrected = points->topLevelItem(1);
    EXPECT_EQ(corrected->text(9), QStringLiteral("Pass"));
    EXPECT_EQ(corrected->text(10), QStringLiteral("2"));
    EXPECT_EQ(corrected->text(13), QStringLiteral("misread"));
    ASSERT_EQ(corrected->childCount(), 1);
    EXPECT_EQ(corrected->child(0)->text(9), QStringLiteral("Fail"));
    EXPECT_EQ(corrected->child(0)->text(10), QStringLiteral("1"));
    EXPECT_EQ(runs->indexOfTopLevelItem(runs->currentItem()), 2);

    // Approval: the operator is asked whether no second person approves
    // (No: nothing issued); a second person issues it.
    auto* approve = window->findChild<QPushButton*>(QStringLiteral("cmdApprove"));
    ASSERT_TRUE(approve->isEnabled());
    const auto approveAs = [&](const QString& name) {
        answerDialog([name](QDialog* d) {
            EXPECT_EQ(d->objectName(), QStringLiteral("frmApprove"));
            QTest::keyClicks(d->findChild<QLineEdit*>(), name);
        });
        QTest::mouseClick(approve, Qt::LeftButton);
    };
    approveAs(QStringLiteral("J. Doe"));
    ASSERT_EQ(h.messages.shown.size(), 1u);
    EXPECT_TRUE(h.messages.shown[0].text.contains(QStringLiteral("second person")));
    EXPECT_EQ(h.documents.opened.size(), 1);
    approveAs(QStringLiteral("A. Smith"));
    ASSERT_EQ(h.documents.opened.size(), 2);
    EXPECT_TRUE(h.documents.opened[1].endsWith(certificateFileName(number)));
    EXPECT_EQ(runs->topLevelItem(1)->text(4), number);  // given to the as-left run
    EXPECT_EQ(runs->topLevelItem(1)->text(5), QStringLiteral("A. Smith"));
    EXPECT_TRUE(pdfText(h.documents.opened[1]).contains(number));
    EXPECT_EQ(runs->topLevelItem(2)->text(4), QStringLiteral("in ") + number);
    EXPECT_FALSE(approve->isEnabled());

    // The issued certificate has its Digital Calibration Certificate beside
    // it, carrying that PDF; the draft has none. "Write DCC" writes it again
    // for a run with its number only.
    EXPECT_FALSE(QFile::exists(dccPathBeside(h.documents.opened[0])));
    const QString xml = dccPathBeside(h.documents.opened[1]);
    QFile written(xml);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray document = written.readAll();
    written.close();
    EXPECT_TRUE(validateDcc(document, dccSchemaFolder(QString())).isEmpty());
    QFile certificatePdf(h.documents.opened[1]);
    ASSERT_TRUE(certificatePdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(document.contains(certificatePdf.readAll().toBase64().left(76)));
    runs->setCurrentItem(runs->topLevelItem(1));
    ASSERT_TRUE(dcc->isEnabled());
    ASSERT_TRUE(QFile::remove(xml));
    QTest::mouseClick(dcc, Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(xml));
    EXPECT_TRUE(window->findChild<QLabel*>(QStringLiteral("lblNote"))->text().contains(xml));
    runs->setCurrentItem(runs->topLevelItem(2));
    EXPECT_FALSE(dcc->isEnabled());  // the as-found run has no number of its own

    // A correction after issue makes an amended record of both runs; the
    // certified ones are marked replaced.
    answerDialog([](QDialog* d) {
        QTest::keyClicks(d->findChild<QLineEdit*>(QStringLiteral("txtValue")), QStringLiteral("60.1"));
        QTest::keyClicks(d->findChild<QLineEdit*>(QStringLiteral("txtReason")), QStringLiteral("wrong unit"));
        QTest::keyClicks(d->findChild<QLineEdit*>(QStringLiteral("txtCorrectedBy")), QStringLiteral("A. Smith"));
    });
    QTest::mouseClick(correct, Qt::LeftButton);
    ASSERT_EQ(runs->topLevelItemCount(), 5);
    EXPECT_EQ(runs->topLevelItem(1)->text(4), QStringLiteral("not issued, amended, replaces ") + number);
    EXPECT_EQ(runs->topLevelItem(2)->text(4), number + QStringLiteral(", replaced (amendment not issued)"));
    EXPECT_EQ(runs->topLevelItem(4)->text(4), QStringLiteral("in ") + number + QStringLiteral(", replaced (amendment not issued)"));
    EXPECT_EQ(runs->currentItem(), runs->topLevelItem(3));  // the amended as-found run
    EXPECT_TRUE(approve->isEnabled());
    ASSERT_EQ(h.messages.shown.size(), 2u);
    EXPECT_TRUE(h.messages.shown[1].text.contains(number));
}

} // namespace
} // namespace tarn::testing
