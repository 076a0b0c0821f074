#pragma once
// What a calibration certificate says, apart from how it is drawn: its
// title line, the decision rule and the statement of conformity in words,
// the rows of its results tables, and the writing and opening of its file.

#include "platform/platform.h"
#include "records/records.h"

namespace tarn {

inline constexpr auto kDemonstrationCalibrator = "demonstration edition";

// "Calibration Certificate", and for a run made with the demonstration
// edition "Calibration Certificate (demonstration edition: not a calibration)".
QString certificateTitle(const CertificateRuns& runs);
// The decision rule written out, e.g. for guarded with 10 %.
QString decisionRuleInWords(const RunInfo& info);
// The statement of conformity of one run (as found or as left).
QString conformityStatement(const RunInfo& info);
// One row of a results table: point, test, setting, nominal, indicated,
// actual, error, limits, tolerance used and result, as printed.
QStringList certificateRow(const PointResult& point);
QStringList certificateColumns();
// The side-by-side table of a unit adjusted and run again: per point its
// error, tolerance used and result as found and as left.
QStringList comparisonColumns();
QList<QStringList> comparisonRows(const RunRecord& asFound, const RunRecord& asLeft);
// A condition as typed, with its unit when a bare number was typed.
QString conditionText(const QString& typed, const QString& unit);

// Draws a certificate into a file.
class CertificatePrinter {
public:
    virtual ~CertificatePrinter() = default;
    virtual bool write(const CertificateRuns& runs, const LaboratoryInfo& laboratory,
                       const QString& path, QString* error) = 0;
};

// Each of these writes a certificate into the records folder and opens it;
// problems are shown in a message box; the path written is returned, or
// empty.
//
// The certificate of a run as it stands: once issued, <number>.pdf drawn
// again; before, a draft without a number (<results file name>-draft.pdf),
// which the printer marks as not issued.
QString showCertificate(Records& records, const QString& runId, const Services& services);
// Approves and issues the certificate (the number, the date of issue and
// the approver stored) and writes it.
QString approveAndIssueCertificate(Records& records, const QString& runId, const QString& approvedBy,
                                   const QDateTime& now, const Services& services);
// Where every numbered certificate is written: <number>.pdf.
QString writeIssuedCertificate(Records& records, const CertificateRuns& runs, const Services& services);

} // namespace tarn
