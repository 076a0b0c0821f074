#include "records/records.h"

#include "fastrise/fast_rise_panel.h"
#include "procedure/procedure.h"

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
        const QList<PointResult> attempts = db->attemptsOf(runId, &why);
        if (!why.isEmpty())
            return failed(why);
        for (int point : points) {
            if (point == 0)
                continue;
            // Every attempt the server does not have yet, in order.
            const int there = remote->pointAttempt(runId, point, &why);
            if (there < 0)
                return failed(why);
            for (const PointResult& p : attempts)
                if (p.point == point && p.attempt > there
                    && !remote->writePoint(runId, p, p.attempt, false, &why))
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

RecordsDatabase* Records::home(const QString& runId, QString* error)
{
    RecordsDatabase* own = local(error);
    if (!own)
        return nullptr;
    // The run's home: the server for a run written there (or only there),
    // where the laboratory's certificate numbers are counted.
    QString ignored;
    const bool localRun = own->loadRun(runId, &ignored).has_value();
    if (!hasServer() || (localRun && own->serverOf(runId, &ignored).isEmpty()))
        return own;
    QString why;
    RecordsDatabase* remote = connectServer(&why);
    if (!remote) {
        if (error)
            *error = QStringLiteral("The records server %1 cannot be reached: %2\r\r"
                                    "The run's records are kept there; try again when it is back.")
                         .arg(settings_.server, why);
        return nullptr;
    }
    if (copyPending(&why) < 0) {
        if (error)
            *error = QStringLiteral("The points waiting for the records server %1 could not "
                                    "be copied: %2")
                         .arg(settings_.server, why);
        return nullptr;
    }
    return server_.get();
}

std::optional<CertificateRuns> Records::certificateRunsOf(const QString& runId, QString* error)
{
    RecordsDatabase* db = home(runId, error);
    if (!db)
        return std::nullopt;
    return certificateRuns(*db, runId, error);
}

std::optional<CertificateRuns> Records::issueCertificate(const QString& runId, const QString& approvedBy,
                                                         const QDateTime& now, QString* error)
{
    RecordsDatabase* own = local(error);
    RecordsDatabase* db = own ? home(runId, error) : nullptr;
    if (!db)
        return std::nullopt;
    auto runs = certificateRuns(*db, runId, error);
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
    if (approvedBy.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("A certificate is issued only when a named person approves it.");
        return std::nullopt;
    }
    const QString prefix = settings_.laboratory.certificatePrefix.isEmpty()
                               ? LaboratoryInfo().certificatePrefix
                               : settings_.laboratory.certificatePrefix;
    const QString series = prefix + QLatin1Char('/') + QString::number(now.date().year());
    const auto sequence = db->nextCertificateSequence(series, error);
    if (!sequence)
        return std::nullopt;
    const QString number = series + QLatin1Char('/') + QStringLiteral("%1").arg(*sequence, 4, 10, QLatin1Char('0'));
    const QString target = runs->run.info.runId;
    if (!db->setCertificate(target, number, now, approvedBy.trimmed(), error))
        return std::nullopt;
    QString ignored;
    if (db != own && own->loadRun(target, &ignored))
        own->setCertificate(target, number, now, approvedBy.trimmed(), &ignored);
    return certificateRuns(*db, runId, error);
}

std::optional<QString> Records::correctPoint(const QString& runId, PointResult corrected, QString* error)
{
    RecordsDatabase* own = local(error);
    RecordsDatabase* db = own ? home(runId, error) : nullptr;
    if (!db)
        return std::nullopt;
    const auto runs = certificateRuns(*db, runId, error);
    const auto run = runs ? db->loadRun(runId, error) : std::nullopt;
    if (!run)
        return std::nullopt;
    if (!run->info.end.isValid()) {
        if (error)
            *error = QStringLiteral("The run has not ended; a point is corrected in a finished run only.");
        return std::nullopt;
    }
    const int last = db->pointAttempt(runId, corrected.point, error);
    if (last <= 0) {
        if (error && last == 0)
            *error = QStringLiteral("Point %1 was not taken in this run.").arg(corrected.point);
        return std::nullopt;
    }
    corrected.attempt = last + 1;
    QList<PointResult> points = run->points;
    for (PointResult& p : points)
        if (p.point == corrected.point)
            p = corrected;
    const Overall overall = overallOf(points, run->info.pointsInProcedure, false);
    // The same change made in the local copy of a run kept on the server.
    QString ignored;
    RecordsDatabase* mirror = db != own && own->loadRun(runId, &ignored) ? own : nullptr;

    if (runs->run.info.certificateNumber.isEmpty()) {
        // Not issued yet: the correction is the point's next attempt.
        if (!db->writeCorrection(runId, corrected, overall, error))
            return std::nullopt;
        if (mirror)
            mirror->writeCorrection(runId, corrected, overall, &ignored);
        return runId;
    }
    // Issued: the certified runs are carried over into an amended record,
    // the correction added to its copy, and the old ones marked replaced.
    const QString number = runs->run.info.certificateNumber;
    QString asFoundCopy;
    QString target;
    const auto amend = [&](const RunRecord& old, const QString& asFound, const QString& replaces) {
        const QString copy = newRunId();
        const bool holds = old.info.runId == runId;
        const auto correction = holds ? std::optional<PointResult>(corrected) : std::nullopt;
        const auto result = holds ? std::optional<Overall>(overall) : std::nullopt;
        if (!db->amendRun(old.info.runId, copy, asFound, replaces, correction, result, error))
            return QString();
        if (mirror && own->loadRun(old.info.runId, &ignored))
            own->amendRun(old.info.runId, copy, asFound, replaces, correction, result, &ignored);
        if (holds)
            target = copy;
        return copy;
    };
    if (runs->asFound) {
        asFoundCopy = amend(*runs->asFound, runs->asFound->info.asFoundRunId, QString());
        if (asFoundCopy.isEmpty())
            return std::nullopt;
    }
    if (amend(runs->run, runs->asFound ? asFoundCopy : runs->run.info.asFoundRunId, number).isEmpty())
        return std::nullopt;
    if (target.isEmpty()) {
        if (error)
            *error = QStringLiteral("The run %1 is not one of those certificate %2 was issued for.")
                         .arg(runId, number);
        return std::nullopt;
    }
    return target;
}

namespace {

std::optional<DecisionRule> ruleNamed(const QString& name)
{
    for (DecisionRule rule : {DecisionRule::Simple, DecisionRule::Guarded, DecisionRule::NonBinary})
        if (decisionRuleName(rule) == name)
            return rule;
    return std::nullopt;
}

// The guard band of a run as a share of the tolerance ("10%"), or none
// when it is the point's expanded uncertainty ("U").
std::optional<double> guardShare(const RunInfo& info)
{
    if (info.guard.trimmed().isEmpty())
        return 0.0;
    QString ignored;
    const auto side = parseToleranceSide(info.guard, QString(), false, 0, &ignored);
    if (side && side->form == ToleranceSide::Form::Percent)
        return side->value / 100.0;
    return std::nullopt;
}

} // namespace

std::optional<PointResult> correctedPoint(const RunInfo& info, const PointResult& last,
                                          const QString& typed, const NumberFormat& format,
                                          QString* error)
{
    const auto refuse = [&](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    PointResult p = last;
    p.correctionReason.clear();
    p.correctedBy.clear();
    const QString value = typed.trimmed();
    if (!p.nominal) {
        // A check: the operator's judgement is corrected.
        if (value.compare(QLatin1String("pass"), Qt::CaseInsensitive) == 0)
            p.result = Verdict::Pass;
        else if (value.compare(QLatin1String("fail"), Qt::CaseInsensitive) == 0)
            p.result = Verdict::Fail;
        else
            return refuse(QStringLiteral("Point %1 is a check: type Pass or Fail.").arg(p.point));
        return p;
    }
    const auto rule = ruleNamed(info.decisionRule);
    const auto share = guardShare(info);
    if (!rule || (!share && !p.uncertainty))
        return refuse(QStringLiteral("The decision rule of the run (%1, guard %2) is not known to "
                                     "this program.")
                          .arg(info.decisionRule, info.guard));
    const bool bandwidth = p.function == QLatin1String("fastrise");
    const ShownUnit shown = bandwidth ? ShownUnit{1e-9, QStringLiteral("ns")} : shownUnitOf(*p.nominal, p.unit);
    const auto read = parseReading(value, shown, bandwidth ? QStringLiteral("s") : p.unit, format);
    if (!read || !std::isfinite(*read) || (bandwidth && !(*read > 0)))
        return refuse(QStringLiteral("\"%1\" cannot be read as a value: type a number in %2, or a "
                                     "number with its unit.")
                          .arg(value, shown.text));
    // A guard band of U is the point's own; it keeps the U it was given.
    const bool byU = !share;
    const double u = p.uncertainty.value_or(0.0);
    const bool noDecision = last.result == Verdict::NoDecision;
    p.readings.clear();
    if (bandwidth) {
        const auto b = FastRisePanel::ExactBandwidth(*read / 1e-9);
        if (b.outcome != FastRisePanel::Bandwidth::Outcome::Shown)
            return refuse(QStringLiteral("A rise time of %1 is too short to give a bandwidth.").arg(value));
        p.riseTime = *read / 1e-9;
        p.indicated = b.megahertz;
        const double least = p.lower.value_or(*p.nominal);
        const double w = byU ? u : 0.0;
        const double e = b.megahertz - least;
        if (noDecision)
            p.result = Verdict::NoDecision;
        else if (*rule == DecisionRule::Simple || w == 0.0)
            p.result = e >= 0 ? Verdict::Pass : Verdict::Fail;
        else if (e >= w)
            p.result = Verdict::Pass;
        else if (*rule == DecisionRule::Guarded)
            p.result = Verdict::Fail;
        else
            p.result = e >= 0 ? Verdict::ConditionalPass : e >= -w ? Verdict::ConditionalFail : Verdict::Fail;
        return p;
    }
    if (!p.lower || !p.upper)
        return refuse(QStringLiteral("Point %1 has no limits stored.").arg(p.point));
    // A deviation point's observation is the calibrator's output (the unit
    // shows the nominal); a reading's is what the unit showed.
    const bool deviation = p.actual && p.indicated && *p.actual != *p.nominal && *p.indicated == *p.nominal;
    if (deviation)
        p.actual = *read;
    else {
        p.indicated = *read;
        p.actual = *p.nominal;
    }
    const PointLimits limits{*p.nominal - *p.lower, *p.upper - *p.nominal};
    p.error = errorOf(*p.indicated, *p.actual);
    p.toleranceUsed = toleranceUsed(*p.error, limits);
    double guard = share.value_or(0.0);
    if (byU) {
        // w = U on the side the error lies on.
        const double side = *p.error < 0 ? limits.lower : limits.upper;
        guard = side > 0 ? u / side : 1.0;
    }
    p.result = noDecision || (byU && (u >= limits.lower || u >= limits.upper))
                   ? Verdict::NoDecision
                   : decide(*p.error, limits, *p.nominal, *rule, guard);
    return p;
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

QString Records::draftCertificatePath(const RunInfo& info)
{
    QString path = resultsFilePath(info);
    path.chop(4);  // ".csv"
    return path + QStringLiteral("-draft.pdf");
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
