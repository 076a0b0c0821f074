#include "records/certificate.h"
#include "records/dcc.h"
#include "records/dcc_validation.h"
#include "records/records_test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace tarn::testing {
namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

QString schemas()
{
    return dccSchemaFolder(QString());
}

QString problemText(const QList<DccProblem>& problems)
{
    return dccProblemLines(QStringLiteral("doc"), problems);
}

LaboratoryInfo laboratory()
{
    LaboratoryInfo lab;
    lab.name = QStringLiteral("Tarn Lab");
    lab.address = QStringLiteral("1 Bench Road\nLeeds LS1 1AA");
    lab.accreditation = QStringLiteral("UKAS 0000");
    lab.country = QStringLiteral("gb");
    return lab;
}

// The sample run as made with a calibrator file: U, k and TUR per
// point; the counter point's limits are one-sided, so it has no TUR.
RunRecord withUncertainty(RunRecord run)
{
    run.info.calibrator = QStringLiteral("Corvane Tarn, SN 77");
    run.info.calibratorModel = QStringLiteral("Tarn");
    run.info.calibratorSerial = QStringLiteral("77");
    run.info.calibratorCertificate = QStringLiteral("UKAS-123");
    run.info.calibratorDue = QDate(2027, 6, 1);
    run.info.temperatureC = 23.1;
    run.info.humidityRH = 45;
    run.points[0].uncertainty = 0.00012;
    run.points[0].coverageFactor = 2.0;
    run.points[0].tur = 10.0;
    run.points[1].uncertainty = 1.3;
    run.points[1].coverageFactor = 2.05;
    return run;
}

QString store(Records& records, RunRecord run)
{
    RecordsSink sink(records, nullptr);
    QString error;
    EXPECT_TRUE(sink.beginRun(run.info, &error)) << error.toStdString();
    for (const auto& p : run.points)
        EXPECT_TRUE(sink.recordPoint(run, p, &error)) << error.toStdString();
    EXPECT_TRUE(sink.endRun(endedRun(run), &error)) << error.toStdString();
    return sink.runId();
}

// The shipped schema set is complete and unmodified, and the validator can
// fail: the reference documents, one valid, one not, the latter with the
// lines of its faults.
TEST(DccValidation, ReferenceDocumentsPassAndFailAsShipped)
{
    const struct {
        const char* file;
        const char* sha256;
    } files[] = {
        {"dcc/v3.3.0/dcc.xsd", "b8872150500d2d8bdd66817d27e7ee16b4df7037e803cf316483b98174a7f73f"},
        {"si/v2.2.1/SI_Format.xsd", "10c3415fa1194357e3b181d5bd2413bf894594c01e3fa9e76c3b482db6c3d617"},
        {"si/v2.2.1/qudt/quantitykind.xsd", "7fe0038a3c423ca26c07618667e11266473df777315a8d560f72869520dcf199"},
        {"dcc/d-sig/xmldsig-core-schema.xsd", "b44ee18f3cbf818c09b07f9e1fecd2009d1a580b9fc62776dc5ad6ce7eccedcf"},
    };
    for (const auto& f : files)
        EXPECT_EQ(QCryptographicHash::hash(readAll(QDir(schemas()).filePath(QLatin1String(f.file))),
                                           QCryptographicHash::Sha256)
                      .toHex(),
                  QByteArray(f.sha256))
            << f.file;

    const QString examples = QStringLiteral(TARN_DCC_EXAMPLES);
    EXPECT_EQ(problemText(validateDcc(readAll(examples + QStringLiteral("/reference-valid.xml")), schemas())),
              QString());

    // A document from elsewhere reads too: a hybrid nominal (its first
    // form), one U for every point, names in English where given.
    QString error;
    const auto reference = readDccSummary(readAll(examples + QStringLiteral("/reference-valid.xml")), &error);
    ASSERT_TRUE(reference) << error.toStdString();
    ASSERT_EQ(reference->points.size(), 5);
    EXPECT_EQ(reference->points[4], (DccSummaryPoint{QStringLiteral("Measurement results, Measuring results"),
                                                     QStringLiteral("5"), QStringLiteral("593.154"),
                                                     QStringLiteral("-0.084"), QStringLiteral("0.061"),
                                                     QStringLiteral("\\kelvin"), QStringLiteral("pass")}));
    EXPECT_EQ(reference->number, QStringLiteral("1234"));

    QString out;
    QString err;
    QTextStream o(&out);
    QTextStream e(&err);
    const QString invalid = examples + QStringLiteral("/reference-invalid.xml");
    EXPECT_EQ(validateDccFile(invalid, schemas(), o, e), 1);
    e.flush();
    const QStringList lines = err.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2) << err.toStdString();
    static const QRegularExpression shape(QStringLiteral("^.+reference-invalid\\.xml:[1-9][0-9]*: \\S"));
    for (const QString& line : lines)
        EXPECT_TRUE(shape.match(line).hasMatch()) << line.toStdString();
    EXPECT_NE(err.indexOf(QLatin1String("uniqueIdentifier")), -1) << err.toStdString();

    // Not XML at all, and a file that is not there.
    EXPECT_EQ(validateDcc("<dcc:digital", schemas()).size() > 0, true);
    EXPECT_EQ(validateDccFile(examples + QStringLiteral("/none.xml"), schemas(), o, e), 1);
}

TEST(DccUnits, ResultUnitsAsDsiTexts)
{
    const struct {
        const char* unit;
        const char* dsi;
    } cases[] = {
        {"V", "\\volt"},          {"mV", "\\milli\\volt"},   {"uV", "\\micro\\volt"},
        {"Hz", "\\hertz"},        {"kHz", "\\kilo\\hertz"},  {"MHz", "\\mega\\hertz"},
        {"GHz", "\\giga\\hertz"}, {"s", "\\second"},         {"ms", "\\milli\\second"},
        {"\u00b5s", "\\micro\\second"}, {"ns", "\\nano\\second"}, {"ps", "\\pico\\second"},
        {"", ""},                 {"%", ""},                 {"mHzz", ""},
        {"Ms", "\\mega\\second"}, {"xV", ""},                {"v", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dsiUnit(QString::fromUtf8(c.unit)), QLatin1String(c.dsi)) << c.unit;
}

// An adjusted unit: the certificate's runs as stored, as found and as left,
// written beside the PDF, valid, read back point by point, and carrying the
// PDF's bytes.
TEST(DccDocument, StoredRunAsFoundAndAsLeftReadsBackPointByPoint)
{
    QTemporaryDir dir;
    RecordsSettings settings;
    settings.folder = dir.path();
    settings.laboratory = laboratory();
    Records records(settings);
    RunRecord first = withUncertainty(sampleRun());
    const QString found = store(records, first);
    RunRecord left = withUncertainty(sampleRun());
    left.info.asFoundRunId = found;
    left.info.adjustment = QStringLiteral("gain trimmed");
    left.info.start = first.info.start.addSecs(3600);
    left.points[1].indicated = 1000002.5;
    left.points[1].error = 2.5;
    left.points[1].result = Verdict::ConditionalPass;
    store(records, left);

    QString error;
    const auto runs = records.issueCertificate(found, QStringLiteral("A. Smith"), QDateTime(QDate(2026, 12, 10), QTime(9, 0)), &error);
    ASSERT_TRUE(runs && runs->asFound) << error.toStdString();
    const QString pdfPath = records.certificatePath(runs->run.info.certificateNumber);
    QByteArray pdf("%PDF-1.7\n");
    for (int i = 0; i < 300; ++i)
        pdf += char(i % 256);
    QFile out(pdfPath);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(pdf);
    out.close();

    const QString path = writeDccBeside(*runs, settings.laboratory, pdfPath, schemas(), &error);
    ASSERT_EQ(path, dccPathBeside(pdfPath)) << error.toStdString();
    EXPECT_TRUE(path.endsWith(dccFileName(runs->run.info.certificateNumber)));
    const QByteArray document = readAll(path);
    EXPECT_EQ(problemText(validateDcc(document, schemas())), QString());

    const auto summary = readDccSummary(document, &error);
    ASSERT_TRUE(summary) << error.toStdString();
    EXPECT_EQ(summary->number, runs->run.info.certificateNumber);
    EXPECT_EQ(summary->begin, QStringLiteral("2026-12-09"));
    EXPECT_EQ(summary->issued, QStringLiteral("2026-12-10"));
    EXPECT_TRUE(summary->item.contains(QStringLiteral("serial number SN-1042"))) << summary->item.toStdString();
    QList<DccSummaryPoint> expected;
    for (const auto& [run, name] : {std::pair{&*runs->asFound, "as found"}, std::pair{&runs->run, "as left"}})
        for (const PointResult& p : run->points) {
            if (!p.indicated)
                continue;  // the check point is not in the lists
            const auto text = [](const std::optional<double>& v) { return resultsNumber(v); };
            const QString conformity[] = {QStringLiteral("pass"), QStringLiteral("fail"),
                                          QStringLiteral("conditionalPass")};
            expected << DccSummaryPoint{QStringLiteral("%1: %2").arg(QLatin1String(name), p.test),
                                        QString::number(p.point), text(p.nominal), text(p.error),
                                        text(p.uncertainty), dsiUnit(p.unit),
                                        conformity[int(p.result)]};
        }
    ASSERT_EQ(expected.size(), 4);
    EXPECT_EQ(summary->points, expected);
    // The acceptance limits: under the guarded rule the tolerance limits
    // (0.0588 V to 0.0612 V) moved in by the 10 % guard band; and the PDF
    // byte for byte.
    EXPECT_TRUE(document.contains("<si:valueXMLList>0.05892</si:valueXMLList>"));
    EXPECT_TRUE(document.contains("<si:valueXMLList>0.06108</si:valueXMLList>"));
    static const QRegularExpression base64(QStringLiteral("<dcc:dataBase64>([^<]*)</dcc:dataBase64>"));
    const auto match = base64.match(QString::fromUtf8(document));
    ASSERT_TRUE(match.hasMatch());
    EXPECT_EQ(QByteArray::fromBase64(match.captured(1).toLatin1()), pdf);
    EXPECT_TRUE(document.contains("<dcc:mimeType>application/pdf</dcc:mimeType>"));

    // U, k and TUR as the runner gives them, per point.
    CertificateRuns uncertain = *runs;
    uncertain.asFound->points = withUncertainty(*uncertain.asFound).points;
    uncertain.run.points = withUncertainty(uncertain.run).points;
    const auto again = dccDocument({uncertain, settings.laboratory, pdf, QStringLiteral("c.pdf"), QStringLiteral("2.1.0")},
                                   &error);
    ASSERT_TRUE(again) << error.toStdString();
    EXPECT_EQ(problemText(validateDcc(*again, schemas())), QString());
    EXPECT_TRUE(again->contains("<si:coverageFactorXMLList>2.05</si:coverageFactorXMLList>"));
    EXPECT_TRUE(again->contains("<si:valueXMLList>10</si:valueXMLList>"));  // the TUR
    const QString text = dccSummaryText(*readDccSummary(*again, &error));
    EXPECT_NE(text.indexOf(QStringLiteral("as left: Counter, point 2: nominal 1000000 \\hertz, error 2.5 \\hertz, "
                                          "U 1.3 \\hertz, conditionalPass\n")),
              -1)
        << text.toStdString();
    EXPECT_NE(text.indexOf(QStringLiteral("as found: DC gain, point 1: nominal 0.06 \\volt, error -0.0006 \\volt, "
                                          "U 0.00012 \\volt, pass\n")),
              -1)
        << text.toStdString();
}

// Without a calibrator file there is no U; a run with little
// recorded, a skipped point, a point without a decision and a check point
// still give a valid document, which names the points left out of the lists.
TEST(DccDocument, RunWithoutUncertaintyIsStillValid)
{
    CertificateRuns runs;
    runs.run = endedRun(sampleRun());
    RunInfo& i = runs.run.info;
    i.certificateNumber = QStringLiteral("CAL/2026/0007");
    i.certificateIssued = i.end;
    i.customer.clear();
    i.operatorName = QStringLiteral(" \x01 ");  // typed junk: nothing XML can carry
    i.procedureTitle += QChar(0x1b);
    i.instrument.clear();
    i.unitAsset.clear();
    i.procedureRevision.clear();
    i.temperature = QStringLiteral("warm");
    PointResult skipped = runs.run.points[0];
    skipped.point = 4;
    skipped.result = Verdict::Skipped;
    PointResult undecided = runs.run.points[0];
    undecided.point = 5;
    undecided.result = Verdict::NoDecision;
    PointResult odd = runs.run.points[0];
    odd.point = 6;
    odd.error = std::numeric_limits<double>::quiet_NaN();
    odd.lower.reset();
    // Points of one list in different units: each value with its own.
    PointResult inMillivolts = runs.run.points[0];
    inMillivolts.point = 7;
    inMillivolts.unit = QStringLiteral("mV");
    inMillivolts.nominal = inMillivolts.indicated = 60;
    inMillivolts.actual = 60.6;
    inMillivolts.error = -0.6;
    inMillivolts.lower = 58.8;
    inMillivolts.upper = 61.2;
    PointResult inVolts = runs.run.points[0];
    inVolts.point = 8;
    runs.run.points << skipped << undecided << odd << inMillivolts << inVolts;

    QString error;
    const auto document =
        dccDocument({runs, laboratory(), QByteArray("%PDF"), QStringLiteral("x.pdf"), QStringLiteral("2.1.0")},
                    &error);
    ASSERT_TRUE(document) << error.toStdString();
    EXPECT_EQ(problemText(validateDcc(*document, schemas())), QString()) << document->toStdString();
    EXPECT_FALSE(document->contains("expandedMU"));
    EXPECT_FALSE(document->contains("NaN"));
    EXPECT_TRUE(document->contains("No measurement uncertainty was evaluated"));
    for (const char* named : {"point 3 (1 us): a check without a value: Pass", "point 4 (10 mV/div x 6 div, DC): skipped",
                              "point 5 (10 mV/div x 6 div, DC): no decision"})
        EXPECT_TRUE(document->contains(named)) << named;

    const auto summary = readDccSummary(*document, &error);
    ASSERT_TRUE(summary);
    QStringList listed;
    for (const DccSummaryPoint& p : summary->points)
        listed << p.point + u'/' + p.error + u'/' + p.uncertainty + u'/' + p.unit;
    // Point 6 has no error to give, so it is listed apart, without one.
    EXPECT_EQ(listed, (QStringList{QStringLiteral("1/-0.0006//\\volt"), QStringLiteral("2/12.5//\\hertz"),
                                   QStringLiteral("6///\\volt"), QStringLiteral("7/-0.6//\\milli\\volt"),
                                   QStringLiteral("8/-0.0006//\\volt")}));
    EXPECT_TRUE(document->contains("<si:unitXMLList>\\milli\\volt \\volt</si:unitXMLList>"));
}

struct Printer final : CertificatePrinter {
    bool write(const CertificateRuns& runs, const LaboratoryInfo&, const QString& path, QString*) override
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("%PDF " + runs.run.info.certificateNumber.toUtf8()) > 0;
    }
};
struct Messages final : MessageBoxes {
    MessageResult show(const MessageRequest& r) override
    {
        shown << r;
        return MessageResult::Ok;
    }
    QList<MessageRequest> shown;
};

// Issuing a certificate writes its DCC beside the PDF; issued again, both
// are drawn again the same. Without the laboratory's country the PDF is
// still issued, and the operator is told why there is no DCC.
TEST(DccDocument, IssuingWritesItBesideThePdfEachTime)
{
    QTemporaryDir dir;
    RecordsSettings settings;
    settings.folder = dir.path();
    settings.laboratory = laboratory();
    Records records(settings);
    const QString run = store(records, withUncertainty(sampleRun()));
    Printer printer;
    Messages messages;
    Services services;
    services.certificates = &printer;
    services.messages = &messages;
    const QDateTime now(QDate(2026, 12, 10), QTime(9, 0));

    const QString pdf = approveAndIssueCertificate(records, run, QStringLiteral("A. Smith"), now, services);
    ASSERT_FALSE(pdf.isEmpty());
    const QByteArray first = readAll(dccPathBeside(pdf));
    EXPECT_TRUE(validateDcc(first, schemas()).isEmpty());
    EXPECT_EQ(showCertificate(records, run, services), pdf);
    EXPECT_EQ(readAll(dccPathBeside(pdf)), first);
    EXPECT_TRUE(messages.shown.isEmpty());

    RecordsSettings unset = settings;
    unset.laboratory.country.clear();
    Records without(unset);
    ASSERT_TRUE(QFile::remove(dccPathBeside(pdf)));
    EXPECT_EQ(showCertificate(without, run, services), pdf);
    EXPECT_FALSE(QFile::exists(dccPathBeside(pdf)));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].title, QStringLiteral("Digital Calibration Certificate"));
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("Country="))) << messages.shown[0].text.toStdString();
}

// What cannot be a valid DCC is not written: no country to name, or no
// schema set to validate against.
TEST(DccDocument, WritesNothingItCannotValidate)
{
    QTemporaryDir dir;
    CertificateRuns runs;
    runs.run = endedRun(sampleRun());
    runs.run.info.certificateNumber = QStringLiteral("CAL/2026/0008");
    const QString pdf = dir.filePath(QStringLiteral("CAL-2026-0008.pdf"));
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("%PDF");
    f.close();

    LaboratoryInfo lab = laboratory();
    QString error;
    lab.country = QStringLiteral("United Kingdom");
    EXPECT_TRUE(writeDccBeside(runs, lab, pdf, schemas(), &error).isEmpty());
    EXPECT_TRUE(error.contains(QStringLiteral("Country="))) << error.toStdString();
    lab.country = QStringLiteral("GB");
    lab.performanceLocation = QStringLiteral("bench");
    EXPECT_TRUE(writeDccBeside(runs, lab, pdf, schemas(), &error).isEmpty());
    EXPECT_TRUE(error.contains(QStringLiteral("PerformanceLocation="))) << error.toStdString();
    lab.performanceLocation = QStringLiteral("customer");
    EXPECT_TRUE(writeDccBeside(runs, lab, pdf, dir.path(), &error).isEmpty());
    EXPECT_TRUE(error.contains(QStringLiteral("not written"))) << error.toStdString();
    runs.run.info.certificateNumber.clear();
    EXPECT_FALSE(dccDocument({runs, lab, {}, {}, {}}, &error));
    EXPECT_FALSE(QFile::exists(dccPathBeside(pdf)));
}

} // namespace
} // namespace tarn::testing
