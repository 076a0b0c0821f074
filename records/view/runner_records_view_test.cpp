// The runner's last page: a failed unit adjusted and run again, its
// certificate with both runs, and its history, clicked through the window.

#include "procedure/view/runner_test_harness.h"
#include "records/dcc.h"
#include "records/dcc_validation.h"

#include <QFile>

#include <QLineEdit>
#include <QProcess>
#include <QTreeWidget>

namespace tarn::testing {
namespace {

TEST(RunnerLastPage, RunAgainCertificateAndHistory)
{
    RunnerWindowHarness r;
    r.h.memoryProfile.writeString(QStringLiteral("Laboratory"), QStringLiteral("Country"), QStringLiteral("GB"),
                                  kSettingsPath);
    ASSERT_TRUE(r.open("title = \"Counter\"\n[[test]]\nname = \"Counter\"\nfunction = \"frequency\"\n"
                       "method = \"reading\"\ntolerance = \"50 ppm\"\npoints = [1000]\n"));
    GuiHarness& h = r.h;
    const auto w = [&](const char* name) { return r.w(name); };
    const auto click = [&](const char* name) { r.click(name); };
    const auto take = [&](const char* reading) {
        click("cmdContinue");
        QTest::keyClicks(w("txtReading"), QLatin1String(reading));
        click("cmdRecord");
    };

    QTest::keyClicks(w("txtUnitSerial"), QStringLiteral("C-9"));
    QTest::keyClicks(w("txtOperator"), QStringLiteral("Bea"));
    click("cmdBegin");
    EXPECT_FALSE(w("cmdCertificate")->isVisible());
    take("1.0001");  // +100 ppm
    EXPECT_EQ(static_cast<QLabel*>(w("lblOverall"))->text(), QStringLiteral("FAIL"));
    ASSERT_TRUE(w("cmdRunAgain")->isVisible());
    EXPECT_EQ(static_cast<QPushButton*>(w("cmdRunAgain"))->text().remove(u'&'),
              QStringLiteral("Adjust and run again"));

    // Nothing runs again until the operator says what was adjusted.
    click("cmdRunAgain");
    EXPECT_FALSE(w("cmdContinue")->isVisible());
    ASSERT_FALSE(h.messages.shown.empty());
    EXPECT_TRUE(h.messages.shown.back().text.contains(QStringLiteral("what was adjusted")));
    h.messages.shown.clear();
    QTest::keyClicks(w("txtAdjustment"), QStringLiteral("timebase trimmed"));
    click("cmdRunAgain");
    EXPECT_TRUE(w("cmdContinue")->isVisible());
    EXPECT_TRUE(r.window->windowTitle().endsWith(QStringLiteral("As left (after adjustment)")));
    EXPECT_EQ(static_cast<QLabel*>(w("lblOverall"))->text(), QStringLiteral("As left (after adjustment)"));
    EXPECT_EQ(h.sent().split(u'/').last(), QStringLiteral("OFF"));
    take("1.00001");  // +10 ppm
    EXPECT_EQ(static_cast<QLabel*>(w("lblOverall"))->text(), QStringLiteral("PASS"));
    EXPECT_FALSE(w("cmdRunAgain")->isVisible());

    click("cmdCertificate");
    ASSERT_EQ(h.documents.opened.size(), 1);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {h.documents.opened[0], QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString pdf = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(pdf.contains(QStringLiteral("Results as found")));
    EXPECT_TRUE(pdf.contains(QStringLiteral("Results as left")));
    EXPECT_TRUE(pdf.contains(QStringLiteral("1.0001 kHz")));
    // The runner's certificate is a draft until it is approved and issued
    // in the history window: no number, and no DCC beside it.
    EXPECT_FALSE(QFile::exists(dccPathBeside(h.documents.opened[0])));

    click("cmdHistory");
    QWidget* history = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == QStringLiteral("frmHistory") && top->isVisible())
            history = top;
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(history->findChild<QLineEdit*>(QStringLiteral("txtSerial"))->text(), QStringLiteral("C-9"));
    auto* runs = history->findChild<QTreeWidget*>(QStringLiteral("lstRuns"));
    ASSERT_EQ(runs->topLevelItemCount(), 2);
    // The runner's certificate is a draft: the number comes with approval.
    EXPECT_TRUE(h.documents.opened[0].endsWith(QStringLiteral("-draft.pdf")));
    EXPECT_EQ(runs->topLevelItem(0)->text(4), QStringLiteral("not issued"));
    EXPECT_TRUE(h.messages.shown.empty());
    r.window->close();
}

} // namespace
} // namespace tarn::testing
