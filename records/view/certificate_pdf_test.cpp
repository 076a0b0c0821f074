#include "records/view/certificate_pdf.h"
#include "records/records_test_support.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include <cmath>
#include <map>

namespace tarn {
namespace {

// What a poppler tool prints for the file.
QString poppler(const QString& tool, const QString& path, QStringList options = {QStringLiteral("-layout")})
{
    QProcess p;
    p.start(tool, tool == QLatin1String("pdfinfo") ? QStringList{path} : options << path << QStringLiteral("-"));
    EXPECT_TRUE(p.waitForFinished(30000)) << tool.toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

LaboratoryInfo laboratory()
{
    LaboratoryInfo lab;
    lab.name = QStringLiteral("Tarn Test Laboratory");
    lab.address = QStringLiteral("1 Bench Road, Leeds");
    lab.accreditation = QStringLiteral("UKAS 0001");
    lab.certificatePrefix = QStringLiteral("TC");
    return lab;
}

// A point read against limits of ±tol about the nominal, with U from a
// two-component budget (k = 2) and the simple rule's verdict.
PointResult measured(int number, const QString& test, const QString& function, const QString& setting,
                     const QString& unit, double nominal, double indicated, double tol, double u)
{
    PointResult p;
    p.point = number;
    p.test = test;
    p.function = function;
    p.setting = setting;
    p.unit = unit;
    p.nominal = nominal;
    p.indicated = indicated;
    p.actual = nominal;
    p.error = indicated - nominal;
    p.lower = nominal - tol;
    p.upper = nominal + tol;
    p.toleranceUsed = std::fabs(*p.error) / tol * 100;
    p.uncertainty = u;
    p.coverageFactor = 2.0;
    p.tur = std::round(tol / u * 10) / 10;
    p.result = std::fabs(*p.error) <= tol ? Verdict::Pass : Verdict::Fail;
    const double uc = u / 2;
    p.budget = {{QStringLiteral("calibrator"), uc * 1.6, QStringLiteral("normal"), 2.0, 1.0, uc * 0.8, std::nullopt},
                {QStringLiteral("reading resolution"), uc * 2.078, QStringLiteral("rectangular"), 3.464, 1.0,
                 uc * 0.6, std::nullopt}};
    return p;
}

// Twenty points of every kind a scope check has, as found (`drift` scales
// the errors) and as left.
RunRecord twentyPoints(double drift)
{
    RunRecord run = testing::sampleRun();
    QList<PointResult>& pts = run.points;
    pts.clear();
    const int vd[] = {1, 2, 5, 10, 20, 50, 100, 200};
    for (int n = 0; n < 8; ++n) {
        const double nominal = vd[n] * 6e-3;
        pts << measured(n + 1, QStringLiteral("Vertical gain"), QStringLiteral("amplitude"),
                        QStringLiteral("%1 mV/div x 6 div, DC").arg(vd[n]), QStringLiteral("V"), nominal,
                        nominal * (1 + drift * 0.0003 * (n % 3 - 1)), nominal * 0.015, nominal * 0.002);
    }
    const double hz[] = {1e3, 1e6, 10e6, 100e6};
    for (int n = 0; n < 4; ++n)
        pts << measured(9 + n, QStringLiteral("Time base"), QStringLiteral("frequency"),
                        QStringLiteral("%1").arg(n == 0 ? "1 kHz" : n == 1 ? "1 MHz" : n == 2 ? "10 MHz" : "100 MHz"),
                        QStringLiteral("Hz"), hz[n], hz[n] * (1 + drift * 12e-6), hz[n] * 50e-6, hz[n] * 5.8e-6);
    const double s[] = {1e-6, 10e-9, 1e-3, 1.0};
    for (int n = 0; n < 4; ++n)
        pts << measured(13 + n, QStringLiteral("Markers"), QStringLiteral("period"),
                        QStringLiteral("%1").arg(n == 0 ? "1 us" : n == 1 ? "10 ns" : n == 2 ? "1 ms" : "1 s"),
                        QStringLiteral("s"), s[n], s[n] * (1 - drift * 8e-6), s[n] * 50e-6, s[n] * 5.8e-6);
    PointResult bw;
    bw.point = 17;
    bw.test = QStringLiteral("Bandwidth");
    bw.function = QStringLiteral("fastrise");
    bw.setting = QStringLiteral("fast rise edge");
    bw.unit = QStringLiteral("MHz");
    bw.indicated = 109.858843601;
    bw.riseTime = 3.18;
    bw.lower = 100.0;
    bw.uncertainty = 3.2;
    bw.coverageFactor = 2.0;
    bw.result = Verdict::Pass;
    bw.budget = {{QStringLiteral("rise time resolution"), 0.01, QStringLiteral("rectangular"), 3.464, 34.86, 0.1006, std::nullopt},
                 {QStringLiteral("calibrator edge"), 0.3, QStringLiteral("rectangular"), 3.464, 3.289, 0.2848, std::nullopt}};
    pts << bw;
    PointResult check;
    check.point = 18;
    check.test = QStringLiteral("Trigger sensitivity on the external input, both slopes, with the hold-off at minimum");
    check.function = QStringLiteral("amplitude");
    check.setting = QStringLiteral("1 kHz square, 0.5 div");
    check.result = Verdict::Pass;
    pts << check;
    pts << measured(19, QStringLiteral("DC gain, high range"), QStringLiteral("amplitude"),
                    QStringLiteral("1 V/div x 4 div, DC"), QStringLiteral("V"), 4.0,
                    drift > 1 ? 4075.0 : 4.0021, 0.0008, 0.00024);
    PointResult nd = measured(20, QStringLiteral("Offset"), QStringLiteral("amplitude"),
                              QStringLiteral("2 mV/div x 2 div, DC"), QStringLiteral("V"), 0.004, 0.00401, 0.0001,
                              0.00011);
    nd.result = Verdict::NoDecision;
    pts << nd;
    run.info.pointsInProcedure = 20;
    run.info.calibrator = QStringLiteral("Tarn T-00417 over GPIB");
    run.info.calibratorModel = QStringLiteral("Tarn");
    run.info.calibratorSerial = QStringLiteral("T-00417");
    run.info.calibratorCertificate = QStringLiteral("UKAS 12345/2026");
    run.info.calibratorDue = QDate(2027, 3, 2);
    run.info.decisionRule = QStringLiteral("guarded");
    run.info.guard = QStringLiteral("U");
    return testing::endedRun(run);
}

// An oscilloscope found out of tolerance (88 %, one point at -137 % and a
// slip of thousands of per cent), adjusted and issued.
CertificateRuns adjusted()
{
    RunRecord found = twentyPoints(3.0);
    found.info.runId = QStringLiteral("found");
    found.points[4].indicated = *found.points[4].nominal - 0.0132 * *found.points[4].nominal;
    found.points[4].error = *found.points[4].indicated - *found.points[4].nominal;
    found.points[4].toleranceUsed = 88.0;
    found.points[6].error = -0.0137 * *found.points[6].nominal;
    found.points[6].indicated = *found.points[6].nominal + *found.points[6].error;
    found.points[6].toleranceUsed = 137.0;
    found.points[6].result = Verdict::Fail;
    found.info.overall = Overall::Fail;
    RunRecord left = twentyPoints(0.5);
    left.info.runId = QStringLiteral("left");
    left.info.asFoundRunId = QStringLiteral("found");
    left.info.start = found.info.end.addSecs(900);
    left.info.end = left.info.start.addSecs(1200);
    left.info.adjustment = QStringLiteral("Vertical gain trimmed on CH1 (R212)");
    left.points[2].remark = QStringLiteral("Trace noisy; read at the centre of the band.");
    left.points[9].correctionReason = QStringLiteral("Reading typed in kHz instead of MHz");
    left.points[9].correctedBy = QStringLiteral("K. Smith");
    left.info.overall = Overall::Incomplete;
    return {found, left};
}

struct Word {
    int page;
    double x0, y0, x1, y1;
    QString text;
};

QList<Word> words(const QString& path)
{
    const QString html = poppler(QStringLiteral("pdftotext"), path, {QStringLiteral("-bbox")});
    static const QRegularExpression re(
        QStringLiteral("<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<Word> out;
    int page = 0;
    for (auto it = re.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith(QLatin1String("<page"))) {
            ++page;
            continue;
        }
        QString t = m.captured(5);
        t.replace(QLatin1String("&lt;"), QLatin1String("<")).replace(QLatin1String("&gt;"), QLatin1String(">"))
            .replace(QLatin1String("&quot;"), QLatin1String("\"")).replace(QLatin1String("&amp;"), QLatin1String("&"));
        out << Word{page, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                    m.captured(4).toDouble(), t};
    }
    return out;
}

// Every value of the results tables, read back with its position: each on
// the line of its row (not wrapped), inside its own column (not running
// into the next), and as a technician writes it.
TEST(CertificatePdf, EveryNumberLiesInsideItsCell)
{
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("TARN_KEEP_CERTIFICATE"));
    CertificateRuns runs = adjusted();
    runs.run.info.certificateNumber = QStringLiteral("TC/2026/0007");
    runs.run.info.certificateIssued = QDateTime(QDate(2026, 12, 10), QTime(9, 0), Qt::OffsetFromUTC, 3600);
    const QString path = dir.filePath(QStringLiteral("cells.pdf"));
    QString error;
    ASSERT_TRUE(PdfCertificatePrinter(QPageSize(QPageSize::A4)).write(runs, laboratory(), path, &error))
        << error.toStdString();
    const QList<Word> all = words(path);
    ASSERT_FALSE(all.isEmpty());

    // Lines of words, by page and top.
    std::map<std::pair<int, int>, QList<Word>> lines;
    for (const Word& w : all)
        lines[{w.page, int(std::lround(w.y0 * 4))}] << w;
    const double pageRight = 595.0 - 15 / 25.4 * 72;
    const QStringList heads = {"Point", "Test", "Setting", "Nominal", "Indicated", "Actual",
                               "Error", "U", "Limits", "Tol.", "TUR", "Result"};
    QList<QStringList> expected;
    for (const RunRecord* run : {&*runs.asFound, &runs.run})
        expected += resultsTable(*run).rows;
    int row = 0;
    std::vector<double> lefts;  // the columns' left edges under the header in hand
    for (const auto& [key, line] : lines) {
        if (std::any_of(line.begin(), line.end(), [](const Word& w) { return w.text == u"Nominal"; })) {
            lefts.clear();
            for (const QString& h : heads)
                for (const Word& w : line)
                    if (w.text == h && (lefts.empty() || w.x0 > lefts.back())) {
                        lefts.push_back(w.x0 - 1);
                        break;
                    }
            ASSERT_EQ(lefts.size(), std::size_t(heads.size())) << "header on page " << key.first;
            continue;
        }
        if (lefts.empty())
            continue;
        const auto columnOf = [&](const Word& w) {
            int c = 0;
            while (c + 1 < int(lefts.size()) && w.x0 >= lefts[c + 1])
                ++c;
            return c;
        };
        QList<Word> first;
        for (const Word& w : line)
            if (columnOf(w) == 0)
                first << w;
        if (first.isEmpty())
            continue;  // a wrapped name or a rise time under its bandwidth
        bool isNumber = false;
        first[0].text.toInt(&isNumber);
        if (!isNumber || first[0].x0 > lefts[0] + 6) {
            lefts.clear();  // the table has ended
            continue;
        }
        ASSERT_LT(row, expected.size());
        const QStringList& cells = expected[row++];
        std::vector<QStringList> got(heads.size());
        for (const Word& w : line) {
            const int c = columnOf(w);
            const double right = c + 1 < int(lefts.size()) ? lefts[c + 1] : pageRight;
            EXPECT_LE(w.x1, right + 0.5) << "\"" << w.text.toStdString() << "\" runs out of column " << c
                                         << " in row " << cells[0].toStdString();
            got[c] << w.text;
        }
        for (int c = 3; c < heads.size(); ++c)
            EXPECT_EQ(got[c].join(QLatin1Char(' ')).toStdString(), cells[c].section(QLatin1Char('\n'), 0, 0).toStdString())
                << heads[c].toStdString() << " of row " << cells[0].toStdString();
    }
    EXPECT_EQ(row, expected.size());

    // As a technician writes them: the prefixes, the one-sided limit, the
    // tolerance used without a decimal, U and k.
    const QStringList found = resultsTable(*runs.asFound).rows[4];
    EXPECT_EQ(found[3], QStringLiteral("120.000 mV"));
    EXPECT_EQ(found[9], QStringLiteral("88 %"));
    const QStringList counter = resultsTable(runs.run).rows[9];
    EXPECT_EQ(counter[4], QStringLiteral("1.000 006 MHz"));
    EXPECT_EQ(counter[6], QStringLiteral("6.0 Hz"));
    EXPECT_EQ(counter[7], QStringLiteral("5.8 Hz (2.00)"));
    const QStringList bandwidth = resultsTable(runs.run).rows[16];
    EXPECT_EQ(bandwidth[4], QStringLiteral("109.9 MHz\ntr 3.18 ns"));
    EXPECT_EQ(bandwidth[8], QStringLiteral("\u2265 100 MHz"));
    EXPECT_EQ(resultsTable(runs.run).rows[12][4], QStringLiteral("0.999 996 \u00b5s"));
    EXPECT_EQ(resultsTable(*runs.asFound).rows[18][9], QStringLiteral("508875000 %"));
}

// The certificate's statements read back: the U (k) and TUR columns, the
// uncertainty statement, traceability, the decision rule with U, the
// particulars, the notes, the budget appendix and the approval; and the
// same runs not yet issued, as a draft on every page.
TEST(CertificatePdf, StatesUncertaintyTraceabilityAndApproval)
{
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("TARN_KEEP_CERTIFICATE"));
    CertificateRuns runs = adjusted();
    RunInfo& i = runs.run.info;
    i.customerAddress = QStringLiteral("4 Mill Lane\nHalifax HX1 2AB");
    i.unitMaker = QStringLiteral("Scopeworks");
    i.dateReceived = QDate(2026, 12, 7);
    runs.asFound->info.condition = QStringLiteral("damaged");
    i.dataSheet = QStringLiteral("DS-100 data sheet, issue 4");
    i.temperatureC = 23.1;
    i.humidityRH = 41;
    i.calibratorPastDue = true;
    const QString draftPath = dir.filePath(QStringLiteral("draft.pdf"));
    QString error;
    ASSERT_TRUE(PdfCertificatePrinter(QPageSize(QPageSize::A4)).write(runs, laboratory(), draftPath, &error));
    i.certificateNumber = QStringLiteral("TC/2026/0008");
    i.certificateIssued = QDateTime(QDate(2026, 12, 11), QTime(9, 0), Qt::OffsetFromUTC, 3600);
    i.approvedBy = QStringLiteral("M. Quality");
    i.approved = i.certificateIssued;
    i.replacesCertificate = QStringLiteral("TC/2026/0007");
    const QString path = dir.filePath(certificateFileName(i.certificateNumber));
    ASSERT_TRUE(PdfCertificatePrinter(QPageSize(QPageSize::A4)).write(runs, laboratory(), path, &error));

    const QString text = poppler(QStringLiteral("pdftotext"), path);
    const QStringList pages = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    ASSERT_GE(pages.size(), 4);
    for (int n = 0; n < pages.size(); ++n) {
        EXPECT_TRUE(pages[n].contains(QStringLiteral("Page %1 of %2").arg(n + 1).arg(pages.size()))) << n + 1;
        EXPECT_TRUE(pages[n].contains(QStringLiteral("Certificate TC/2026/0008"))) << n + 1;
        EXPECT_FALSE(pages[n].contains(QStringLiteral("DRAFT"))) << n + 1;
    }
    const QString flat = QString(text).replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
    const char* expected[] = {
        "This certificate replaces certificate TC/2026/0007",
        "Certificate number TC/2026/0008", "Date of issue 2026-12-11",
        "Acme Labs 4 Mill Lane Halifax HX1 2AB",
        "Scopeworks, model DS-100, serial number SN-1042, asset number A-7",
        "Date received 2026-12-07", "Condition on receipt damaged",
        "Checked against DS-100 data sheet, issue 4", "Temperature 23.1 °C, humidity 41 % rh",
        "Calibrator Tarn, serial number T-00417, calibrated under certificate UKAS 12345/2026, due for "
        "calibration on 2027-03-02.",
        "The calibrator was past its calibration due date",
        "guard band w = U", "No decision",
        "The reported expanded uncertainty of measurement is stated as the standard uncertainty of "
        "measurement multiplied by the coverage factor k, which for a normal distribution corresponds to a "
        "coverage probability of approximately 95 %",
        "U (k)", "TUR", "Adjusted before this run: Vertical gain trimmed on CH1 (R212)",
        "[1] Point 3: Trace noisy; read at the centre of the band.",
        "[2] Point 10: Corrected after the run by K. Smith: Reading typed in kHz instead of MHz.",
        "Appendix: uncertainty budgets", "Point 17 (as left): Bandwidth", "calibrator edge",
        "Effective degrees of freedom ν_eff", "Line with end marks: ±U",
        "Approved by M. Quality on 2026-12-11", "*** End of certificate TC/2026/0008 ***",
    };
    for (const char* e : expected)
        EXPECT_TRUE(flat.contains(QString::fromUtf8(e))) << e;
    EXPECT_TRUE(pages.last().contains(QStringLiteral("End of certificate")));
    // The appendix begins a page of its own, after the signatures.
    for (const QString& page : pages)
        EXPECT_FALSE(page.contains(QStringLiteral("Appendix: uncertainty budgets"))
                     && page.contains(QStringLiteral("Approved by")));

    // The laboratory's own words replace the standard sentence.
    LaboratoryInfo own = laboratory();
    own.uncertaintyStatement = QStringLiteral("Uncertainties are stated at k = 2 in our own words.");
    ASSERT_TRUE(PdfCertificatePrinter(QPageSize(QPageSize::A4)).write(runs, own, path, &error));
    const QString ownText = poppler(QStringLiteral("pdftotext"), path).simplified();
    EXPECT_TRUE(ownText.contains(own.uncertaintyStatement));
    EXPECT_FALSE(ownText.contains(QStringLiteral("The reported expanded uncertainty")));

    // The draft: watermarked on every page, no number, not approved.
    const QStringList draft = poppler(QStringLiteral("pdftotext"), draftPath).split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    ASSERT_EQ(draft.size(), pages.size());
    for (int n = 0; n < draft.size(); ++n) {
        EXPECT_GE(draft[n].count(QStringLiteral("DRAFT \u2014 not issued")), 2) << "draft page " << n + 1;
        EXPECT_FALSE(draft[n].contains(QStringLiteral("TC/2026/"))) << "draft page " << n + 1;
    }
    const QString draftFlat = draft.join(QLatin1Char(' ')).simplified();
    EXPECT_TRUE(draftFlat.contains(QStringLiteral("Certificate number none (draft)")));
    EXPECT_TRUE(draftFlat.contains(QStringLiteral("Not approved: a draft, not issued")));
    EXPECT_FALSE(draftFlat.contains(QStringLiteral("Approved by M.")));

    // The paper follows the locale.
    const struct {
        QLocale locale;
        const char* paper;
    } papers[] = {{QLocale(QLocale::English, QLocale::UnitedStates), "(letter)"},
                  {QLocale(QLocale::German, QLocale::Germany), "(A4)"}};
    for (const auto& p : papers) {
        const QString file = dir.filePath(QStringLiteral("paper.pdf"));
        ASSERT_TRUE(PdfCertificatePrinter(PdfCertificatePrinter::pageSizeFor(p.locale)).write(runs, own, file, &error));
        EXPECT_TRUE(poppler(QStringLiteral("pdfinfo"), file).contains(QLatin1String(p.paper))) << p.paper;
    }
}

} // namespace
} // namespace tarn
