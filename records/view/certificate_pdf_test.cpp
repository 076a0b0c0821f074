#include "records/view/certificate_pdf.h"
#include "records/records_test_support.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

namespace tarn {
namespace {

// What a poppler tool prints for the file.
QString poppler(const QString& tool, const QString& path)
{
    QProcess p;
    p.start(tool, tool == QLatin1String("pdfinfo") ? QStringList{path}
                                                   : QStringList{QStringLiteral("-layout"), path, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(30000)) << tool.toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

CertificateRuns adjustedRuns(int points)
{
    RunRecord found = testing::endedRun(testing::sampleRun());
    found.info.runId = QStringLiteral("found");
    // Enough points for the tables to go over a page.
    for (int n = 4; n <= points; ++n) {
        PointResult p = found.points[0];
        p.point = n;
        found.points << p;
    }
    found.info.pointsInProcedure = points;
    found.info.overall = Overall::Fail;
    RunRecord left = found;
    left.info.runId = QStringLiteral("left");
    left.info.asFoundRunId = QStringLiteral("found");
    left.info.start = found.info.end.addSecs(300);
    left.info.end = left.info.start.addSecs(600);
    left.points[1].indicated = 1000004.0;
    left.points[1].error = 4.0;
    left.points[1].toleranceUsed = 40.0;
    left.points[1].result = Verdict::Pass;
    left.info.overall = Overall::Pass;
    left.info.certificateNumber = QStringLiteral("TC/2026/0007");
    left.info.certificateIssued = QDateTime(QDate(2026, 12, 10), QTime(9, 0), Qt::OffsetFromUTC, 3600);
    return {found, left};
}

// The certificate read back from the PDF as a reader would: every field,
// both runs, the page numbering on every page and the end mark.
TEST(CertificatePdf, HoldsEveryFieldOnNumberedPages)
{
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("TARN_KEEP_CERTIFICATE"));
    LaboratoryInfo lab{QStringLiteral("Tarn Test Laboratory"), QStringLiteral("1 Bench Road, Leeds"),
                       QStringLiteral("UKAS 0001"), QStringLiteral("TC"), QStringLiteral("GB"),
                       QStringLiteral("laboratory"), QString()};
    const CertificateRuns runs = adjustedRuns(60);
    const QString path = dir.filePath(certificateFileName(runs.run.info.certificateNumber));
    QString error;
    ASSERT_TRUE(PdfCertificatePrinter(QPageSize(QPageSize::A4)).write(runs, lab, path, &error))
        << error.toStdString();
    ASSERT_TRUE(path.endsWith(QStringLiteral("TC-2026-0007.pdf")));

    const QString text = poppler(QStringLiteral("pdftotext"), path);
    const QStringList pages = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    ASSERT_GE(pages.size(), 3);
    for (int n = 0; n < pages.size(); ++n) {
        EXPECT_TRUE(pages[n].contains(QStringLiteral("Page %1 of %2").arg(n + 1).arg(pages.size())))
            << "page " << n + 1;
        EXPECT_TRUE(pages[n].contains(QStringLiteral("not a calibration"))) << "page " << n + 1;
        EXPECT_TRUE(pages[n].contains(QStringLiteral("TC/2026/0007"))) << "page " << n + 1;
    }
    const QString flat = QString(text).replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
    const char* expected[] = {
        "Calibration Certificate (demonstration edition: not a calibration)",
        "Tarn Test Laboratory", "1 Bench Road, Leeds", "Accreditation: UKAS 0001",
        "Certificate number", "2026-12-09 (as found), 2026-12-09 (as left)", "Date of issue 2026-12-10",
        "Customer Acme Labs", "Model DS-100, serial number SN-1042, asset number A-7",
        "Scope, \"CH1\" check, revision 3", "Procedure SHA-256 ab12",
        "Temperature 23.1 °C, humidity 45 % rh",
        "Guarded acceptance", "guard band of 10% of the tolerance",
        "Results as found", "Results as left", "As found and as left",
        "2 Counter 1 MHz 12.5 Hz 125.0 % Fail 4 Hz 40.0 % Pass",
        "1000012.5 Hz", "999990 to 1000010 Hz", "125.0 %", "Fail", "Pass",
        "FAIL: the unit does not conform", "PASS: every point conforms",
        "Tolerance used per point (results as found)", "Hatched bar with its value",
        "The results relate only to the item calibrated",
        "Calibrated by: J. Doe", "Approved by", "*** End of certificate TC/2026/0007 ***",
    };
    for (const char* e : expected)
        EXPECT_TRUE(flat.contains(QString::fromUtf8(e))) << e;
    // The end mark is on the last page and nowhere else.
    EXPECT_EQ(flat.count(QStringLiteral("End of certificate")), 1);
    EXPECT_TRUE(pages.last().contains(QStringLiteral("End of certificate")));

    // The paper follows the locale.
    const struct {
        QLocale locale;
        const char* paper;
    } papers[] = {{QLocale(QLocale::English, QLocale::UnitedStates), "(letter)"},
                  {QLocale(QLocale::German, QLocale::Germany), "(A4)"}};
    for (const auto& p : papers) {
        const QString file = dir.filePath(QStringLiteral("paper.pdf"));
        ASSERT_TRUE(PdfCertificatePrinter(PdfCertificatePrinter::pageSizeFor(p.locale))
                        .write(adjustedRuns(3), lab, file, &error));
        EXPECT_TRUE(poppler(QStringLiteral("pdfinfo"), file).contains(QLatin1String(p.paper))) << p.paper;
    }
}

} // namespace
} // namespace tarn
