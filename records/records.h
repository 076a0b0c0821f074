#pragma once
// The calibration records of this workstation: the local database, always
// written first, and the laboratory's server when the settings file names
// one. What could not reach the server waits in the local copy queue until
// it is copied, each point once.

#include "platform/platform.h"
#include "records/records_database.h"

#include <functional>
#include <memory>

namespace tarn {

struct LaboratoryInfo {
    QString name;
    QString address;
    QString accreditation;
    QString certificatePrefix = QStringLiteral("CAL");
    QString country;              // ISO 3166-1 alpha-2, e.g. "GB"
    QString performanceLocation = QStringLiteral("laboratory");
    QString uncertaintyStatement; // the laboratory's own words; empty: the standard sentence
};

struct RecordsSettings {
    QString folder;   // where records.sqlite, the results files and certificates go
    QString server;   // postgresql://... or empty
    LaboratoryInfo laboratory;
};

// Section Procedures (Records, Database) and section Laboratory (Name,
// Address, Accreditation, CertificatePrefix, Country, PerformanceLocation,
// UncertaintyStatement) of the settings file. The
// records folder defaults to defaultFolder; a relative one lies beside the
// settings file.
RecordsSettings readRecordsSettings(ProfileStore& profile, const QString& settingsFile,
                                    const QString& defaultFolder);

// A certificate's particulars: the run it is issued for and, where that run
// came after an adjustment, the run as found before it.
struct CertificateRuns {
    std::optional<RunRecord> asFound;  // only where there is an as-left run
    RunRecord run;                     // the as-left run, or the only run
};

// The certificate's file name: the number with "/" and other characters
// unfit for a file name replaced by "-", and ".pdf".
QString certificateFileName(const QString& number);

class Records {
public:
    explicit Records(RecordsSettings settings);
    ~Records();

    const RecordsSettings& settings() const { return settings_; }
    bool hasServer() const { return !settings_.server.isEmpty(); }
    // The local database, opened on first use; null with the reason.
    RecordsDatabase* local(QString* error);
    // A fresh connection to the server; null with the reason (the server's
    // own words) when there is none or it cannot be reached.
    RecordsDatabase* connectServer(QString* error);
    // The connection made last, or null.
    RecordsDatabase* server() { return server_.get(); }
    void dropServer() { server_.reset(); }

    // How many points and run ends wait in the copy queue.
    int pendingCopies();
    // Copies the queue to the server: the run's particulars first, then its
    // points, then its end. Returns how many entries were copied, or -1.
    int copyPending(QString* error);

    // Where history is read from: the server when there is one and it can
    // be reached, else the local database (note then says why).
    RecordsDatabase* reading(QString* note, QString* error);

    // The runs a certificate for this run shows, read from `db`.
    std::optional<CertificateRuns> certificateRuns(RecordsDatabase& db, const QString& runId,
                                                   QString* error);
    // The database a run's later changes go to: the server for a run
    // written there (reached, and what waited copied first), else the
    // local database.
    RecordsDatabase* home(const QString& runId, QString* error);
    // The runs a certificate for this run shows, as they now stand in the
    // run's home: numbered once issued, else a draft without a number.
    std::optional<CertificateRuns> certificateRunsOf(const QString& runId, QString* error);
    // Approves and issues the certificate: gives it its number
    // (prefix/year/sequence, counted in the run's home) and stores the
    // number, the date of issue and the approver in both copies. A
    // certificate numbered already is returned as it is; an approver is
    // required.
    std::optional<CertificateRuns> issueCertificate(const QString& runId, const QString& approvedBy,
                                                    const QDateTime& now, QString* error);
    // Stores a correction (see correctedPoint) of a point of a finished
    // run: before issue as the point's next attempt in the same run; after
    // issue in an amended record (the certified runs copied with every
    // attempt, naming the certificate they replace, the old ones marked
    // replaced by them), which is then approved and issued anew. The run
    // that now holds the point is returned.
    std::optional<QString> correctPoint(const QString& runId, PointResult corrected, QString* error);

    // The results file of a run, written from its stored record: beside,
    // then renamed.
    bool writeResultsFile(const RunRecord& run, QString* error);
    // Its name is <serial>_<yyyyMMdd-HHmmss>.csv; a later run of the same
    // unit begun in the same second gets "-2", "-3", ... before ".csv", so
    // that it does not overwrite the first one's file.
    QString resultsFilePath(const RunInfo& info);
    QString certificatePath(const QString& number) const;
    // A draft certificate's: the results file's name with "-draft.pdf".
    QString draftCertificatePath(const RunInfo& info);

private:
    RecordsSettings settings_;
    std::unique_ptr<RecordsDatabase> local_;
    std::unique_ptr<RecordsDatabase> server_;
};

// The records' side of a run: each point stored the moment it is taken,
// on the server too while it is there, and the results file written again
// from the stored run after every point.
class RecordsSink final : public ResultsSink {
public:
    RecordsSink(Records& records, MessageBoxes* messages);

    bool beginRun(const RunInfo& info, QString* error) override;
    bool recordPoint(const RunRecord& run, const PointResult& point, QString* error) override;
    bool endRun(const RunRecord& run, QString* error) override;

    // The run in hand, as stored.
    const QString& runId() const { return runId_; }
    bool serverLost() const { return serverLost_; }

private:
    void serverWentAway(const QString& reason);
    bool rewriteResults(QString* error);

    Records& records_;
    MessageBoxes* messages_ = nullptr;
    QString runId_;
    bool onServer_ = false;
    bool serverLost_ = false;
};

// A point of a finished run with a new value typed for its observation:
// the reading for a reading point, the calibrator's output for a deviation
// point, the rise time (ns) for a bandwidth point, "Pass" or "Fail" for a
// check. Error, tolerance used and result are worked out again from the
// stored nominal and limits under the run's decision rule; its U, k, TUR
// and budget are kept. The caller sets the attempt's time, person and
// reason. Empty with the reason when the value cannot be read.
std::optional<PointResult> correctedPoint(const RunInfo& info, const PointResult& last,
                                          const QString& typed, const NumberFormat& format,
                                          QString* error);

} // namespace tarn
