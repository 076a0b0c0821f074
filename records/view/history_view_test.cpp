#include "app/view/gui_test_harness.h"
#include "records/records_test_support.h"
#include "records/dcc.h"
#include "records/dcc_validation.h"
#include "records/view/history_view.h"

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
// first, a past run's points and CSV from the database, and the
// certificate of an adjusted unit with both runs.
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

    // Its certificate shows it as found and the run after it as left.
    ASSERT_TRUE(certificate->isEnabled());
    QTest::mouseClick(certificate, Qt::LeftButton);
    ASSERT_EQ(h.documents.opened.size(), 1);
    const QString number = QStringLiteral("CAL/%1/0001").arg(QDate::currentDate().year());
    EXPECT_TRUE(h.documents.opened[0].endsWith(certificateFileName(number)));
    EXPECT_EQ(runs->topLevelItem(1)->text(4), number);  // given to the as-left run
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {h.documents.opened[0], QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString pdf = QString::fromUtf8(text.readAllStandardOutput());
    for (const char* part : {"Tarn Lab", "Results as found", "Results as left", "Page 1 of"})
        EXPECT_TRUE(pdf.contains(QLatin1String(part))) << part;
    EXPECT_TRUE(pdf.contains(number));

    // Its Digital Calibration Certificate beside it, carrying that PDF;
    // "Write DCC" writes it again for the run with the number only.
    const QString xml = dccPathBeside(h.documents.opened[0]);
    QFile written(xml);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray document = written.readAll();
    written.close();
    EXPECT_TRUE(validateDcc(document, dccSchemaFolder(QString())).isEmpty());
    QFile certificatePdf(h.documents.opened[0]);
    ASSERT_TRUE(certificatePdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(document.contains(certificatePdf.readAll().toBase64().left(76)));
    EXPECT_FALSE(dcc->isEnabled());  // the as-found run has no number of its own
    runs->setCurrentItem(runs->topLevelItem(1));
    ASSERT_TRUE(dcc->isEnabled());
    ASSERT_TRUE(QFile::remove(xml));
    QTest::mouseClick(dcc, Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(xml));
    EXPECT_TRUE(window->findChild<QLabel*>(QStringLiteral("lblNote"))->text().contains(xml));
    EXPECT_TRUE(h.messages.shown.empty());
}

} // namespace
} // namespace tarn::testing
