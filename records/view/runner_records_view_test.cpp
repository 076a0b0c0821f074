// The runner's last page: a failed unit adjusted and run again, its
// certificate with both runs, and its history, clicked through the window.

#include "app/view/gui_test_harness.h"
#include "procedure/view/procedure_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTreeWidget>

namespace tarn::testing {
namespace {

TEST(RunnerLastPage, RunAgainCertificateAndHistory)
{
    QTemporaryDir dir;
    GuiHarness h;
    h.memoryProfile.writeString(QStringLiteral("Procedures"), QStringLiteral("Records"), dir.path(),
                                kSettingsPath);
    h.start();
    if (::testing::Test::HasFatalFailure())
        return;
    const QString file = dir.filePath(QStringLiteral("counter.toml"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("title = \"Counter\"\n[[test]]\nname = \"Counter\"\nfunction = \"frequency\"\n"
              "method = \"reading\"\ntolerance = \"50 ppm\"\npoints = [1000]\n");
    out.close();
    view::ProcedureLauncher launcher;
    launcher.attach(*h.core, *h.view);
    launcher.openProcedure(file);
    QWidget* window = launcher.window();
    ASSERT_NE(window, nullptr);
    const auto w = [&](const char* name) {
        QWidget* found = window->findChild<QWidget*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    };
    const auto click = [&](const char* name) { QTest::mouseClick(w(name), Qt::LeftButton); };
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

    click("cmdRunAgain");
    EXPECT_TRUE(w("cmdContinue")->isVisible());
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
    EXPECT_TRUE(pdf.contains(QStringLiteral("1000.1 Hz")));

    click("cmdHistory");
    QWidget* history = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == QStringLiteral("frmHistory") && top->isVisible())
            history = top;
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(history->findChild<QLineEdit*>(QStringLiteral("txtSerial"))->text(), QStringLiteral("C-9"));
    auto* runs = history->findChild<QTreeWidget*>(QStringLiteral("lstRuns"));
    ASSERT_EQ(runs->topLevelItemCount(), 2);
    EXPECT_FALSE(runs->topLevelItem(0)->text(4).isEmpty());  // the as-left run's number
    EXPECT_TRUE(h.messages.shown.empty());
    window->close();
}

} // namespace
} // namespace tarn::testing
