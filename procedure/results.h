#pragma once
// What a run of a procedure leaves behind: the run's particulars and one
// result per point, in the order of the procedure. The runner fills them in;
// the results file, the records database and the certificate are all
// written from them.

#include "channel/number_format.h"
#include "uncertainty/budget_component.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace tarn {

// The outcome of one point under the procedure's decision rule.
// NoDecision: the point's expanded uncertainty reaches its tolerance, so no
// acceptance zone is left and no conformity can be stated.
enum class Verdict { Pass, Fail, ConditionalPass, ConditionalFail, Skipped, NoDecision };
// "Pass", "Fail", "Conditional pass", "Conditional fail", "Skipped",
// "No decision".
QString verdictText(Verdict verdict);
std::optional<Verdict> verdictFromText(const QString& text);

// The outcome of a whole run.
enum class Overall { Pass, Fail, Incomplete };
// "PASS", "FAIL", "INCOMPLETE".
QString overallText(Overall overall);
std::optional<Overall> overallFromText(const QString& text);
// PASS when every point passed, FAIL when any failed or failed
// conditionally, INCOMPLETE otherwise when any was skipped or has no
// decision, or the run was aborted (fewer points than the procedure has).
Overall overallOf(const QList<struct PointResult>& points, int pointsInProcedure, bool aborted);

struct PointResult {
    int point = 0;          // 1-based, counted over the whole procedure
    QString test;           // the test's name
    QString function;       // amplitude | frequency | period | fastrise
    QString setting;        // the point as applied, e.g. "10 mV/div x 6 div, DC"
    std::optional<double> nominal;
    std::optional<double> indicated;
    std::optional<double> actual;
    std::optional<double> error;
    std::optional<double> lower;
    std::optional<double> upper;
    QString unit;           // V, Hz, s or MHz; empty for a check point
    std::optional<double> toleranceUsed;  // percent
    Verdict result = Verdict::Skipped;

    // The measurement uncertainty, when a calibrator file is in
    // use and the point has a number: U (in the point's unit, rounded up to
    // two significant digits), its coverage factor k (two decimals), the
    // test uncertainty ratio (one decimal; none for a one-sided limit), and
    // the budget it comes from.
    std::optional<double> uncertainty;
    std::optional<double> coverageFactor;
    std::optional<double> tur;
    QList<BudgetComponent> budget;
    // Every reading of a point taken more than once, in the order taken;
    // indicated is their mean.
    QList<double> readings;
    // The original observation of a bandwidth point: the rise time typed,
    // in ns (indicated is the bandwidth worked out from it).
    std::optional<double> riseTime;

    // The taking of the point: which attempt this is (1 for the first; a
    // point taken again after Back, or corrected, is a later attempt), when
    // and by whom, and the operator's optional remark.
    int attempt = 1;
    QDateTime takenAt;
    QString takenBy;
    QString remark;
    // A correction made after the run: its reason and who made it (empty
    // for a reading taken during the run).
    QString correctionReason;
    QString correctedBy;

    friend bool operator==(const PointResult&, const PointResult&) = default;
};

struct RunInfo {
    QString procedureTitle;
    QString procedureRevision;
    QString procedureSha256;    // of the file's bytes, lower-case hex
    QByteArray procedureText;   // the file's bytes as read
    QString procedureFile;      // where it was read from
    QString instrument;         // the kind of unit the procedure is for
    QString unitModel;
    QString unitSerial;
    QString unitAsset;
    QString customer;
    QString customerAddress;    // lines separated by "\n"
    QString unitMaker;
    QDate dateReceived;
    QString condition;          // on receipt: "good", "damaged", "not working" or free text
    QString dataSheet;          // the maker's data sheet the procedure checks against
    QString operatorName;
    QString temperature;        // as typed
    QString humidity;           // as typed
    std::optional<double> temperatureC;   // the temperature as a number, °C
    std::optional<double> humidityRH;     // the relative humidity as a number, %
    QString adjustment;         // as-left run: what was adjusted before it
    // The unit under test as it identified itself over its remote
    // interface (the reply to *IDN?); empty for readings typed by hand.
    QString uutIdentification;
    QDateTime start;            // local time with its offset
    QDateTime end;              // invalid while the run goes on
    QString calibrator;         // device and identification, or "demonstration edition"
    // The calibrator's file in use (empty without one): its
    // identification, own certificate and due date, the file's text and
    // SHA-256, and whether the run began after the due date.
    QString calibratorModel;
    QString calibratorSerial;
    QString calibratorCertificate;
    QDate calibratorDue;
    QByteArray calibratorSpecText;
    QString calibratorSpecSha256;
    bool calibratorPastDue = false;
    QString decisionRule;       // simple | guarded | non-binary
    QString guard;              // as written in the procedure, e.g. "10%"; empty when none
    int pointsInProcedure = 0;
    std::optional<Overall> overall;  // set when the run has ended

    // The run's identity in the records: a UUID given at Begin, the run this
    // one is the as-left run of (empty for a first run), and the certificate
    // issued for it (number empty while none has been).
    QString runId;
    QString asFoundRunId;
    QString certificateNumber;
    QDateTime certificateIssued;
    // Review before issue: who approved the certificate and when (empty for
    // a draft), and the certificate an amended one replaces.
    QString approvedBy;
    QDateTime approved;
    QString replacesCertificate;

    friend bool operator==(const RunInfo&, const RunInfo&) = default;
};

struct RunRecord {
    RunInfo info;
    QList<PointResult> points;  // ordered by point number, each point once

    friend bool operator==(const RunRecord&, const RunRecord&) = default;
};

// Where the runner leaves what it records. Each call happens at once, so
// that a crash loses at most the point in hand.
class ResultsSink {
public:
    virtual ~ResultsSink() = default;
    // At Begin, before anything is sent to the calibrator. False (with the
    // reason in error) refuses the run.
    virtual bool beginRun(const RunInfo& info, QString* error) = 0;
    // A point was taken, or taken again after Back (the same point number
    // then replaces the earlier result). run holds every point so far.
    virtual bool recordPoint(const RunRecord& run, const PointResult& point, QString* error) = 0;
    // The run ended, finished or aborted: run.info.end and overall are set.
    virtual bool endRun(const RunRecord& run, QString* error) = 0;
};

// The results file of a run: a header row, one row per point, a blank line,
// then the run's particulars as "# key,value" lines. RFC 4180 quoting,
// UTF-8, CR LF line ends.
QByteArray ResultsCsv(const RunRecord& run);

// A new run identity: a UUID without braces.
QString newRunId();

// The results file's name: <serial>_<yyyyMMdd-HHmmss>.csv, the serial
// reduced to letters, digits, "-" and "_".
QString resultsFileName(const QString& serial, const QDateTime& start);

} // namespace tarn
