#pragma once
// The records database: every run of a procedure and every point of it, in
// SQLite (records.sqlite in the records folder) or, for a laboratory that
// keeps its records on a server, in PostgreSQL with the same tables. One
// object is one connection; it is opened, its schema checked and, when it is
// older than this program's, migrated in place. A newer schema is refused
// before anything is written.

#include "procedure/results.h"

#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tarn {

// A server named as postgresql://user@host:port/database (host may be a
// percent-encoded socket folder, e.g. %2Ftmp%2Fpg).
struct ServerAddress {
    QString user;
    QString host;
    int port = 5432;
    QString database;
    QString text;  // as written in the settings file

    friend bool operator==(const ServerAddress&, const ServerAddress&) = default;
};
std::optional<ServerAddress> parseServerAddress(const QString& text, QString* error);

// One row of a unit's history.
struct RunSummary {
    QString runId;
    QString asFoundRunId;
    QDateTime start;
    QDateTime end;  // invalid while the run has not ended
    QString procedureTitle;
    QString operatorName;
    std::optional<Overall> overall;  // none while the run has not ended
    QString certificateNumber;
    // For a run as found: the certificate of its as-left run, which shows it.
    QString issuedWith;
    QString approvedBy;
    // An amended record names the certificate it replaces; the record it
    // replaced names it (its run id) and, once issued, its certificate.
    QString replacesCertificate;
    QString replacedBy;
    QString replacedByCertificate;

    friend bool operator==(const RunSummary&, const RunSummary&) = default;
};

class RecordsDatabase {
public:
    // The schema this program writes. Version 1 kept runs and points only;
    // version 2 added as-found links, certificates and the copy queue;
    // version 3 keeps every attempt at a point (with its uncertainty,
    // budget, readings and who took it when), corrections, the run's
    // particulars, the calibrator's file, the approval and the
    // links of amended records.
    static constexpr int kSchemaVersion = 3;

    // The local database file, created when missing.
    static std::unique_ptr<RecordsDatabase> openLocal(const QString& file, QString* error);
    // The laboratory's server; the password, if any, comes from ~/.pgpass.
    static std::unique_ptr<RecordsDatabase> openServer(const ServerAddress& address, int timeoutSeconds,
                                                       QString* error);
    // Opens without checking or creating the schema, for the migration's
    // own tests: a database left at an older version.
    static std::unique_ptr<RecordsDatabase> openLocalAt(const QString& file, int version, QString* error);
    static std::unique_ptr<RecordsDatabase> openServerAt(const ServerAddress& address, int timeoutSeconds,
                                                         int version, QString* error);

    ~RecordsDatabase();
    RecordsDatabase(const RecordsDatabase&) = delete;
    RecordsDatabase& operator=(const RecordsDatabase&) = delete;

    // "records.sqlite (path)" or the server's address, for messages.
    const QString& name() const { return name_; }
    bool isServer() const { return server_; }
    // The schema version found in the database.
    int schemaVersion(QString* error);

    // Stores a new run at Begin. A run already there with the same id and
    // not ended has its particulars brought up to date (a copy repeated).
    bool writeRun(const RunInfo& info, const QString& server, QString* error);
    // Stores an attempt at a point of an unfinished run in its own
    // transaction. Every attempt is kept; an attempt already stored (a copy
    // repeated) is left as it is. Returns false for a finished run. With
    // `queue`, the point is put in the copy queue in the same transaction.
    bool writePoint(const QString& runId, const PointResult& point, int attempt, bool queue,
                    QString* error);
    // The highest attempt stored for a point, 0 when there is none.
    int pointAttempt(const QString& runId, int point, QString* error);
    // A correction of a finished run that has no certificate yet and has
    // not been replaced: point.attempt (higher than any stored) is added
    // and the run's overall result set, in one transaction.
    bool writeCorrection(const QString& runId, const PointResult& point, Overall overall,
                         QString* error);
    // An amended record of a finished run: the run copied as `newId` with
    // every attempt, linked to `asFoundId` and naming the certificate it
    // replaces, without certificate or approval; the old run is marked
    // replaced by it. The correction, when given, is added to the copy and
    // its overall result set. One transaction.
    bool amendRun(const QString& oldId, const QString& newId, const QString& asFoundId,
                  const QString& replacesCertificate, const std::optional<PointResult>& correction,
                  std::optional<Overall> overall, QString* error);
    // Marks the run ended; a run already ended is left as it is. With
    // `queue`, the end is put in the copy queue in the same transaction.
    bool endRun(const RunInfo& info, bool queue, QString* error);
    // The certificate issued for a finished run and who approved it (at
    // the time of issue); refused for a run numbered already or replaced.
    bool setCertificate(const QString& runId, const QString& number, const QDateTime& issued,
                        const QString& approvedBy, QString* error);

    // A run with each point's last attempt.
    std::optional<RunRecord> loadRun(const QString& runId, QString* error);
    // Every attempt at every point of a run, by point and attempt.
    QList<PointResult> attemptsOf(const QString& runId, QString* error);
    // The last attempt of each stored point, in point order.
    QList<int> attempts(const QString& runId, QString* error);
    // The runs of one serial number, newest first.
    QList<RunSummary> runsOf(const QString& serial, QString* error);
    // The runs of a serial number that began in the same second as `start`,
    // in the order they were stored (local database only).
    QStringList runsOfSecond(const QString& serial, const QDateTime& start, QString* error);
    // The newest as-left run of a run, or empty.
    QString asLeftRunOf(const QString& runId, QString* error);

    // The next number of a certificate series (e.g. prefix and year),
    // counted in the database: 1, 2, 3, ...
    std::optional<int> nextCertificateSequence(const QString& series, QString* error);

    // The queue of what still has to be copied to the server: (run, point)
    // pairs, point 0 for the run's particulars and end.
    bool queueCopy(const QString& runId, int point, QString* error);
    bool unqueueCopy(const QString& runId, int point, QString* error);
    QList<std::pair<QString, int>> queuedCopies(QString* error);
    // The server a run was written for, empty for a local-only run.
    QString serverOf(const QString& runId, QString* error);

    // For tests: a raw statement.
    bool exec(const QString& sql, QString* error);

private:
    RecordsDatabase(QSqlDatabase db, QString connection, QString name, bool server);
    bool migrate(int target, QString* error);
    // Runs body in one transaction: committed when it succeeds, else rolled back.
    bool transact(const std::function<bool(QString*)>& body, QString* error);
    bool prepareSchema(QString* error);
    bool insertAttempt(const QString& runId, const PointResult& point, int attempt, QString* error);
    // Ended, without a certificate and not replaced; else false with why.
    bool checkOpenForChange(const QString& runId, QString* error);

    QSqlDatabase db_;
    QString connection_;
    QString name_;
    bool server_ = false;
};

} // namespace tarn
