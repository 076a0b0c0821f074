#pragma once
// The certificate as a Digital Calibration Certificate (DCC 3.3.0, with
// D-SI 2.2.1 for quantities and units): an XML document that a customer's
// software reads without retyping, written beside the PDF certificate with
// the PDF inside it, and validated against the shipped schemas before it is
// saved. Also the reading of one back, for a short summary.

#include "platform/platform.h"
#include "records/records.h"

#include <QTextStream>

#include <optional>

namespace tarn {

// The D-SI text of a unit as the results give it, with its prefix:
// "V" \volt, "mV" \milli\volt, "Hz" \hertz, "MHz" \mega\hertz, "s" \second,
// "ns" \nano\second; empty for a unit not known.
QString dsiUnit(const QString& unit);

// The document's file name: the certificate's file name with ".xml".
QString dccFileName(const QString& number);
// <number>.xml beside <number>.pdf.
QString dccPathBeside(const QString& pdfPath);

struct DccInput {
    CertificateRuns runs;
    LaboratoryInfo laboratory;
    QByteArray pdf;         // the certificate's bytes, carried in the document
    QString pdfFileName;
    QString softwareVersion;
};

// The document, or nothing with the reason: the run has no certificate
// number, or the laboratory's country or place of calibration is not a
// code the document can carry.
std::optional<QByteArray> dccDocument(const DccInput& input, QString* error);

// Writes the DCC of a certificate just drawn at pdfPath beside it, from the
// PDF's bytes as written: validated first; a document with problems is not
// written and the problems are the error. The path written, or empty.
QString writeDccBeside(const CertificateRuns& runs, const LaboratoryInfo& laboratory,
                       const QString& pdfPath, const QString& schemaFolder, QString* error);

// The same from the certificate's issue: any failure is shown in a message
// box titled "Digital Calibration Certificate".
QString writeDccBeside(const CertificateRuns& runs, const LaboratoryInfo& laboratory,
                       const QString& pdfPath, const Services& services);

// The DCC of a stored run that has its certificate number: the PDF beside
// it is carried as it is (drawn first when it is missing). The path
// written, or empty with the reason.
QString writeStoredRunDcc(Records& records, const QString& runId, const Services& services,
                          QString* error);

// What --dcc-summary shows of a DCC. Numbers and units are the document's
// own texts.
struct DccSummaryPoint {
    QString result;        // the measurement result's and the result's names
    QString point;         // the point's number where the document gives one, else its place
    QString nominal;
    QString error;
    QString uncertainty;   // expanded, empty when none
    QString unit;          // of nominal, error and U (the error's where they differ)
    QString conformity;    // pass, fail, conditionalPass, ...; empty when none

    friend bool operator==(const DccSummaryPoint&, const DccSummaryPoint&) = default;
};

struct DccSummary {
    QString number;
    QString item;
    QString begin;
    QString end;
    QString issued;
    QList<DccSummaryPoint> points;
};

// Reads the summary of a document (valid or not: validate it first).
std::optional<DccSummary> readDccSummary(const QByteArray& document, QString* error);
QString dccSummaryText(const DccSummary& summary);

// The command line's actions: exit codes 0 (valid, written), 1 (problems,
// on err) and 2 (the file cannot be read).
int validateDccFile(const QString& file, const QString& schemaFolder, QTextStream& out, QTextStream& err);
int summariseDccFile(const QString& file, const QString& schemaFolder, QTextStream& out, QTextStream& err);
int writeDccOfRun(Records& records, const QString& runId, const Services& services, QTextStream& out,
                  QTextStream& err);

} // namespace tarn
