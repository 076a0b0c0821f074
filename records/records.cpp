#include "records/records.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUuid>

#include <map>

namespace tarn {

namespace {

constexpr int kServerTimeoutSeconds = 5;

QString read(ProfileStore& profile, const QString& file, const char* section, const char* key,
             const QString& fallback = {})
{
    return profile
        .readString(QLatin1String(section), QLatin1String(key), fallback, 1024, file)
        .trimmed();
}

} // namespace


RecordsSettings readRecordsSettings(ProfileStore& profile, const QString& settingsFile,
                                    const QString& defaultFolder)
{
    RecordsSettings s;
    s.folder = read(profile, settingsFile, "Procedures", "Records");
    if (s.folder.isEmpty())
        s.folder = defaultFolder;
    else if (QDir::isRelativePath(s.folder))  // beside the settings file
        s.folder = QDir(QFileInfo(settingsFile).absolutePath()).filePath(s.folder);
    s.server = read(profile, settingsFile, "Procedures", "Database");
    s.laboratory.name = read(profile, settingsFile, "Laboratory", "Name");
    s.laboratory.address = read(profile, settingsFile, "Laboratory", "Address");
    s.laboratory.accreditation = read(profile, settingsFile, "Laboratory", "Accreditation");
    const QString prefix = read(profile, settingsFile, "Laboratory", "CertificatePrefix");
    if (!prefix.isEmpty())
        s.laboratory.certificatePrefix = prefix;
    s.laboratory.country = read(profile, settingsFile, "Laboratory", "Country");
    const QString location = read(profile, settingsFile, "Laboratory", "PerformanceLocation");
    if (!location.isEmpty())
        s.laboratory.performanceLocation = location;
    s.laboratory.uncertaintyStatement = read(profile, settingsFile, "Laboratory", "UncertaintyStatement");
    return s;
}

QString certificateFileName(const QString& number)
{
    QString name = number;
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("-"));
    return name + QStringLiteral(".pdf");
}

Records::Records(RecordsSettings settings) : settings_(std::move(settings)) {}

Records::~Records() = default;

RecordsDatabase* Records::local(QString* error)
{
    if (!local_) {
        if (!QDir().mkpath(settings_.folder)) {
            if (error)
                *error = QStringLiteral("The records folder %1 cannot be created.").arg(settings_.folder);
            return nullptr;
        }
        local_ = RecordsDatabase::openLocal(QDir(settings_.folder).filePath(QStringLiteral("records.sqlite")),
                                            error);
    }
    return local_.get();
}

RecordsDatabase* Records::connectServer(QString* error)
{
    server_.reset();
    if (!hasServer()) {
        if (error)
            *error = QStringLiteral("No records server is set (key Database of section Procedures).");
        return nullptr;
    }
    const auto address = parseServerAddress(settings_.server, error);
    if (!address)
        return nullptr;
    server_ = RecordsDatabase::openServer(*address, kServerTimeoutSeconds, error);
    return server_.get();
}

int Records::pendingCopies()
{
    QString ignored;
    RecordsDatabase* db = local(&ignored);
    return db ? static_cast<int>(db->queuedCopies(&ignored).size()) : 0;
}

int Records::copyPending(QString* error)
{
    RecordsDatabase* db = local(error);
    if (!db)
        return -1;
    const auto queued = db->queuedCopies(error);
    if (queued.isEmpty())
        return 0;
    RecordsDatabase* remote = server_ ? server_.get() : connectServer(error);
    if (!remote)
        return -1;
    std::map<QString, QList<int>> byRun;
    for (const auto& [run, point] : queued)
        byRun[run] << point;
    int copied = 0;
    const auto failed = [&](const QString& why) {
        if (error)
            *error = why;
        // The connection may be the reason; the next copy connects anew.
        server_.reset();
        return -1;
    };
    for (const auto& [runId, points] : byRun) {
        if (db->serverOf(runId, error) != settings_.server)
            continue;  // written for another server: it waits for that one
        const auto stored = db->loadRun(runId, error);
        if (!stored)
            return failed(error ? *error : QString());
        QString why;
        if (!remote->writeRun(stored->info, settings_.server, &why))
            return failed(why);
        const QList<int> attempts = db->attempts(runId, &why);
        for (int point : points) {
            if (point == 0)
                continue;
            const auto at = std::find_if(stored->points.begin(), stored->points.end(),
                                         [point](const PointResult& p) { return p.point == point; });
            if (at == stored->points.end()) {
                db->unqueueCopy(runId, point, &why);
                continue;
            }
            const int attempt = attempts.value(at - stored->points.begin());
            const int there = remote->pointAttempt(runId, point, &why);
            if (there < 0)
                return failed(why);
            if (there < attempt && !remote->writePoint(runId, *at, attempt, false, &why))
                return failed(why);
            if (!db->unqueueCopy(runId, point, &why))
                return failed(why);
            ++copied;
        }
        if (points.contains(0)) {
            if (stored->info.end.isValid() && !remote->endRun(stored->info, false, &why))
                return failed(why);
            if (stored->info.end.isValid() && !db->unqueueCopy(runId, 0, &why))
                return failed(why);
            ++copied;
        }
    }
    return copied;
}

RecordsDatabase* Records::reading(QString* note, QString* error)
{
    if (hasServer()) {
        QString why;
        if (RecordsDatabase* remote = connectServer(&why))
            return remote;
        if (note)
            *note = QStringLiteral("The records server %1 cannot be reached (%2); the runs shown "
                                   "are those of this workstation.")
                        .arg(settings_.server, why);
    }
    return local(error);
}

std::optional<CertificateRuns> Records::certificateRuns(RecordsDatabase& db, const QString& runId,
                                                        QString* error)
{
    auto run = db.loadRun(runId, error);
    if (!run)
        return std::nullopt;
    CertificateRuns out;
    if (!run->info.asFoundRunId.isEmpty()) {
        out.asFound = db.loadRun(run->info.asFoundRunId, error);
        if (!out.asFound)
            return std::nullopt;
        out.run = *run;
        return out;
    }
    // A first run that had its own certificate keeps it; otherwise a run
    // adjusted and run again is certified with its newest as-left run.
    const QString asLeft = run->info.certificateNumber.isEmpty() ? db.asLeftRunOf(runId, error)
                                                                 : QString();
    if (!asLeft.isEmpty()) {
        auto left = db.loadRun(asLeft, error);
        if (!left)
            return std::nullopt;
        out.asFound = *run;
        out.run = *left;
    } else {
        out.run = *run;
    }
    return out;
}

std::optional<CertificateRuns> Records::issueCertificate(const QString& runId, const QDateTime& now,
                                                         QString* error)
{
    RecordsDatabase* own = local(error);
    if (!own)
        return std::nullopt;
    // The run's home: the server for a run written there (or only there),
    // where the laboratory's certificate numbers are counted.
    RecordsDatabase* home = own;
    QString ignored;
    const bool localRun = own->loadRun(runId, &ignored).has_value();
    if (hasServer() && (!localRun || !own->serverOf(runId, &ignored).isEmpty())) {
        QString why;
        RecordsDatabase* remote = connectServer(&why);
        if (!remote) {
            if (error)
                *error = QStringLiteral("The records server %1 cannot be reached: %2\r\r"
                                        "A certificate number is given by the server; try again "
                                        "when it is back.")
                             .arg(settings_.server, why);
            return std::nullopt;
        }
        if (copyPending(&why) < 0) {
            if (error)
                *error = QStringLiteral("The points waiting for the records server %1 could not "
                                        "be copied: %2")
                             .arg(settings_.server, why);
            return std::nullopt;
        }
        home = server_.get();
    }
    auto runs = certificateRuns(*home, runId, error);
    if (!runs)
        return std::nullopt;
    if (!runs->run.info.certificateNumber.isEmpty())
        return runs;
    if (!runs->run.info.end.isValid()) {
        if (error)
            *error = QStringLiteral("The run has not ended; a certificate is issued for a finished "
                                    "run only.");
        return std::nullopt;
    }
    const QString prefix = settings_.laboratory.certificatePrefix.isEmpty()
                               ? LaboratoryInfo().certificatePrefix
                               : settings_.laboratory.certificatePrefix;
    const QString series = prefix + QLatin1Char('/')
                           + QString::number(now.date().year());
    const auto sequence = home->nextCertificateSequence(series, error);
    if (!sequence)
        return std::nullopt;
    const QString number = series + QLatin1Char('/') + QStringLiteral("%1").arg(*sequence, 4, 10, QLatin1Char('0'));
    const QString target = runs->run.info.runId;
    if (!home->setCertificate(target, number, now, error))
        return std::nullopt;
    if (home != own && own->loadRun(target, &ignored))
        own->setCertificate(target, number, now, &ignored);
    return certificateRuns(*home, runId, error);
}

QString Records::resultsFilePath(const RunInfo& info)
{
    QString name = resultsFileName(info.unitSerial, info.start);
    QString ignored;
    if (RecordsDatabase* db = local(&ignored)) {
        const int index = int(db->runsOfSecond(info.unitSerial, info.start, &ignored).indexOf(info.runId));
        if (index > 0)
            name.insert(name.size() - 4, QStringLiteral("-%1").arg(index + 1));
    }
    return QDir(settings_.folder).filePath(name);
}

QString Records::certificatePath(const QString& number) const
{
    return QDir(settings_.folder).filePath(certificateFileName(number));
}

bool Records::writeResultsFile(const RunRecord& run, QString* error)
{
    QSaveFile file(resultsFilePath(run.info));
    if (!QDir().mkpath(settings_.folder) || !file.open(QIODevice::WriteOnly)
        || file.write(ResultsCsv(run)) < 0 || !file.commit()) {
        if (error)
            *error = QStringLiteral("The results file %1 cannot be written: %2")
                         .arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

// --- The sink --------------------------------------------------------------

RecordsSink::RecordsSink(Records& records, MessageBoxes* messages)
    : records_(records), messages_(messages)
{
}

bool RecordsSink::beginRun(const RunInfo& info, QString* error)
{
    runId_.clear();
    onServer_ = false;
    serverLost_ = false;
    RunInfo stored = info;
    if (stored.runId.isEmpty())
        stored.runId = newRunId();
    QString why;
    RecordsDatabase* db = records_.local(&why);
    if (!db) {
        if (error)
            *error = why;
        return false;
    }
    if (records_.hasServer()) {
        RecordsDatabase* remote = records_.connectServer(&why);
        if (!remote) {
            if (error)
                *error = QStringLiteral("The records server %1 cannot be reached: %2")
                             .arg(records_.settings().server, why);
            return false;
        }
        // What waited is copied first; a copy that fails leaves it waiting
        // and does not hold up the new run while the server takes it.
        if (records_.copyPending(&why) < 0) {
            if (messages_)
                messages_->show({QStringLiteral("Warning"),
                                 QStringLiteral("The records waiting for the server %1 could not be "
                                                "copied: %2\r\rThey stay in the local database.")
                                     .arg(records_.settings().server, why),
                                 MessageIcon::Exclamation, MessageButtons::Ok});
            remote = records_.connectServer(&why);
        }
        if (!remote || !remote->writeRun(stored, records_.settings().server, &why)) {
            if (error)
                *error = QStringLiteral("The records server %1 did not take the run: %2")
                             .arg(records_.settings().server, why);
            return false;
        }
        onServer_ = true;
    }
    if (!db->writeRun(stored, onServer_ ? records_.settings().server : QString(), &why)) {
        if (error)
            *error = QStringLiteral("The run cannot be stored in %1: %2").arg(db->name(), why);
        return false;
    }
    runId_ = stored.runId;
    return rewriteResults(error);
}

void RecordsSink::serverWentAway(const QString& reason)
{
    if (serverLost_)
        return;
    serverLost_ = true;
    records_.dropServer();
    QString ignored;
    const RecordsDatabase* db = records_.local(&ignored);
    if (messages_)
        messages_->show({QStringLiteral("Warning"),
                         QStringLiteral("The records server %1 went away: %2\r\r"
                                        "The points are kept in %3 and copied to the server when "
                                        "it is back: at the next Begin, or with \"Copy to server\" "
                                        "in the history window.")
                             .arg(records_.settings().server, reason,
                                  db ? db->name() : QStringLiteral("records.sqlite")),
                         MessageIcon::Exclamation, MessageButtons::Ok});
}

bool RecordsSink::recordPoint(const RunRecord&, const PointResult& point, QString* error)
{
    QString why;
    RecordsDatabase* db = records_.local(&why);
    const int attempt = db ? db->pointAttempt(runId_, point.point, &why) : -1;
    if (runId_.isEmpty() || attempt < 0 || !db->writePoint(runId_, point, attempt + 1, onServer_, &why)) {
        if (error)
            *error = QStringLiteral("Point %1 cannot be stored in the records database: %2")
                         .arg(point.point)
                         .arg(runId_.isEmpty() ? QStringLiteral("no run has begun") : why);
        return false;
    }
    if (onServer_ && !serverLost_) {
        RecordsDatabase* remote = records_.server();
        if (remote && remote->writePoint(runId_, point, attempt + 1, false, &why))
            db->unqueueCopy(runId_, point.point, &why);
        else
            serverWentAway(remote ? why : QStringLiteral("no connection"));
    }
    return rewriteResults(error);
}

bool RecordsSink::endRun(const RunRecord& run, QString* error)
{
    QString why;
    RecordsDatabase* db = records_.local(&why);
    RunInfo info = run.info;
    info.runId = runId_;
    if (!db || runId_.isEmpty() || !db->endRun(info, onServer_, &why)) {
        if (error)
            *error = QStringLiteral("The end of the run cannot be stored in the records database: %1")
                         .arg(runId_.isEmpty() ? QStringLiteral("no run has begun") : why);
        return false;
    }
    if (onServer_ && !serverLost_) {
        RecordsDatabase* remote = records_.server();
        if (remote && remote->endRun(info, false, &why))
            db->unqueueCopy(runId_, 0, &why);
        else
            serverWentAway(remote ? why : QStringLiteral("no connection"));
    }
    return rewriteResults(error);
}

bool RecordsSink::rewriteResults(QString* error)
{
    QString why;
    RecordsDatabase* db = records_.local(&why);
    const auto stored = db ? db->loadRun(runId_, &why) : std::nullopt;
    if (!stored) {
        if (error)
            *error = why;
        return false;
    }
    return records_.writeResultsFile(*stored, error);
}

} // namespace tarn
