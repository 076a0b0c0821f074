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
// The decision rule written out, e.g. for guarded with 10 %, with how the
// expanded uncertainty was taken into account.
QString decisionRuleInWords(const RunInfo& info);
// The statement of conformity of one run (as found or as left).
QString conformityStatement(const RunInfo& info);
// The statement of how the expanded uncertainty is reported: the
// laboratory's own words, or the standard sentence.
QString uncertaintyStatement(const LaboratoryInfo& laboratory);
// The calibrator's identification, its own certificate and due date, and
// whether it was past that date; or that no calibrator file was in use.
QString traceabilityText(const RunInfo& info);
// Temperature and humidity with their units, as given.
QString conditionsText(const RunInfo& info);
// True when this run has not been issued: it is drawn as a draft.
bool isDraft(const RunInfo& info);

// The cells of one point as a technician writes them: nominal, indicated
// and actual in one prefix per row; the error and U in one prefix, to the
// decimal place of U (four significant digits where there is none); a
// one-sided limit as "≥ 100 MHz"; tolerance used as "88 %" (one decimal
// below 10 %). The rise time typed is given beside a bandwidth.
struct CertificateCells {
    QString nominal;
    QString indicated;
    QString riseTime;      // "tr 3.18 ns" for a bandwidth point
    QString actual;
    QString error;
    QString uncertainty;   // "13 µV (2.00)": U and its k
    QString limits;
    QString toleranceUsed;
    QString tur;
    QString result;
};
CertificateCells certificateCells(const PointResult& point);

// One row of a results table: point, test, setting, nominal, indicated,
// actual, error, limits, tolerance used and result, as printed.
QStringList certificateRow(const PointResult& point);
QStringList certificateColumns();

// A run's results table as the certificate prints it, with U (k) and TUR;
// a point with a remark or a correction carries a note mark ("3 [1]") and
// its note is in notes, in order.
struct ResultsTable {
    QStringList columns;
    QList<QStringList> rows;
    QStringList notes;
};
ResultsTable resultsTable(const RunRecord& run);

// A point's uncertainty budget as the appendix prints it: one row per
// component, then u_c, ν_eff, k and U. Empty when the point has none.
QStringList budgetColumns();
QList<QStringList> budgetRows(const PointResult& point);
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
