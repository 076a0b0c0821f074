#include "records/records_database.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <QVariant>

namespace tarn {

namespace {

// The steps from one schema version to the next: step i brings a database
// at version i to version i + 1. %BLOB% and %REAL% stand for the column
// types, which the two database kinds spell differently.
const QStringList& migrationStep(int from)
{
    static const QList<QStringList> steps = {
        {
            QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"),
            QStringLiteral("CREATE TABLE runs ("
                           " id TEXT PRIMARY KEY,"
                           " procedure_title TEXT, procedure_revision TEXT, procedure_sha256 TEXT,"
                           " procedure_text %BLOB%, procedure_file TEXT, instrument TEXT,"
                           " unit_model TEXT, unit_serial TEXT NOT NULL, unit_asset TEXT,"
                           " customer TEXT, operator_name TEXT, temperature TEXT, humidity TEXT,"
                           " started TEXT NOT NULL, ended TEXT, calibrator TEXT,"
                           " decision_rule TEXT, guard TEXT, points_in_procedure INTEGER,"
                           " overall TEXT)"),
            QStringLiteral("CREATE INDEX runs_by_serial ON runs (unit_serial, started)"),
            QStringLiteral("CREATE TABLE points ("
                           " run_id TEXT NOT NULL, point INTEGER NOT NULL, attempt INTEGER NOT NULL,"
                           " test TEXT, function_name TEXT, setting TEXT,"
                           " nominal %REAL%, indicated %REAL%, actual %REAL%, error_value %REAL%,"
                           " lower_limit %REAL%, upper_limit %REAL%, unit TEXT,"
                           " tolerance_used %REAL%, result TEXT NOT NULL,"
                           " PRIMARY KEY (run_id, point))"),
            QStringLiteral("INSERT INTO schema_version (version) VALUES (1)"),
        },
        {
            QStringLiteral("ALTER TABLE runs ADD COLUMN as_found_id TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN certificate_number TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN certificate_issued TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN server TEXT"),
            QStringLiteral("CREATE TABLE certificate_sequence ("
                           " series TEXT PRIMARY KEY, last_number INTEGER NOT NULL)"),
            QStringLiteral("CREATE TABLE pending_copies ("
                           " run_id TEXT NOT NULL, point INTEGER NOT NULL,"
                           " PRIMARY KEY (run_id, point))"),
            QStringLiteral("UPDATE schema_version SET version = 2"),
        },
    };
    return steps.at(from);
}

QString sqlError(const QSqlError& error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text;
}

QString timeText(const QDateTime& time)
{
    if (!time.isValid())
        return {};
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QDateTime timeFrom(const QVariant& value)
{
    const QString text = value.toString();
    return text.isEmpty() ? QDateTime() : QDateTime::fromString(text, Qt::ISODateWithMs);
}

QVariant number(const std::optional<double>& value)
{
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::Double));
}

std::optional<double> numberFrom(const QVariant& value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toDouble();
}

QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QString()) : QVariant(value);
}

// Runs a statement with positional values.
bool run(QSqlQuery& query, const QString& sql, const QVariantList& values, QString* error)
{
    if (!query.prepare(sql)) {
        if (error)
            *error = sqlError(query.lastError());
        return false;
    }
    for (const QVariant& v : values)
        query.addBindValue(v);
    if (!query.exec()) {
        if (error)
            *error = sqlError(query.lastError());
        return false;
    }
    return true;
}

const QString kRunColumns = QStringLiteral(
    "id, as_found_id, procedure_title, procedure_revision, procedure_sha256, procedure_text,"
    " procedure_file, instrument, unit_model, unit_serial, unit_asset, customer, operator_name,"
    " temperature, humidity, started, ended, calibrator, decision_rule, guard,"
    " points_in_procedure, overall, certificate_number, certificate_issued");

const QString kPointColumns = QStringLiteral(
    "point, test, function_name, setting, nominal, indicated, actual, error_value,"
    " lower_limit, upper_limit, unit, tolerance_used, result");

} // namespace

std::optional<ServerAddress> parseServerAddress(const QString& text, QString* error)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^postgres(?:ql)?://(?:([^@/:]+)@)?([^@/:]*)(?::(\\d{1,5}))?/([^/?#]+)$"));
    const auto m = pattern.match(text.trimmed());
    static const QRegularExpression password(QStringLiteral("^postgres(?:ql)?://[^@/]*:[^@/]*@"));
    if (password.match(text.trimmed()).hasMatch()) {
        if (error)
            *error = QStringLiteral("\"%1\" holds a password; TarnApp.ini must not. Give the "
                                    "password in ~/.pgpass instead.")
                         .arg(text);
        return std::nullopt;
    }
    if (!m.hasMatch()) {
        if (error)
            *error = QStringLiteral("\"%1\" is not a server address of the form "
                                    "postgresql://user@host:port/database.")
                         .arg(text);
        return std::nullopt;
    }
    ServerAddress a;
    a.text = text.trimmed();
    a.user = QUrl::fromPercentEncoding(m.captured(1).toUtf8());
    a.host = QUrl::fromPercentEncoding(m.captured(2).toUtf8());
    if (a.host.isEmpty())
        a.host = QStringLiteral("localhost");
    if (!m.captured(3).isEmpty()) {
        a.port = m.captured(3).toInt();
        if (a.port < 1 || a.port > 65535) {
            if (error)
                *error = QStringLiteral("The port of \"%1\" is out of range.").arg(text);
            return std::nullopt;
        }
    }
    a.database = QUrl::fromPercentEncoding(m.captured(4).toUtf8());
    return a;
}

RecordsDatabase::RecordsDatabase(QSqlDatabase db, QString connection, QString name, bool server)
    : db_(std::move(db)), connection_(std::move(connection)), name_(std::move(name)), server_(server)
{
}

RecordsDatabase::~RecordsDatabase()
{
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection_);
}

std::unique_ptr<RecordsDatabase> RecordsDatabase::openLocalAt(const QString& file, int version,
                                                              QString* error)
{
    const QString connection = QStringLiteral("records-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(file);
    std::unique_ptr<RecordsDatabase> records(new RecordsDatabase(
        db, connection, QStringLiteral("records.sqlite (%1)").arg(QFileInfo(file).absoluteFilePath()),
        false));
    db = QSqlDatabase();  // the object's own handle is the only one left
    if (!records->db_.isValid() || !records->db_.open()) {
        if (error)
            *error = QStringLiteral("The records database %1 cannot be opened: %2")
                         .arg(records->name_, sqlError(records->db_.lastError()));
        return nullptr;
    }
    // Another program holding the file for a moment is waited for.
    QString ignored;
    records->exec(QStringLiteral("PRAGMA busy_timeout = 5000"), &ignored);
    if (version > 0 && !records->migrate(version, error))
        return nullptr;
    return records;
}

std::unique_ptr<RecordsDatabase> RecordsDatabase::openLocal(const QString& file, QString* error)
{
    auto records = openLocalAt(file, 0, error);
    if (!records || !records->prepareSchema(error))
        return nullptr;
    return records;
}

std::unique_ptr<RecordsDatabase> RecordsDatabase::openServer(const ServerAddress& address,
                                                             int timeoutSeconds, QString* error)
{
    const QString connection = QStringLiteral("records-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
    db.setHostName(address.host);
    db.setPort(address.port);
    db.setDatabaseName(address.database);
    if (!address.user.isEmpty())
        db.setUserName(address.user);
    db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(std::max(1, timeoutSeconds)));
    std::unique_ptr<RecordsDatabase> records(new RecordsDatabase(db, connection, address.text, true));
    db = QSqlDatabase();
    if (!records->db_.isValid()) {
        if (error)
            *error = QStringLiteral("The PostgreSQL driver of Qt is not installed.");
        return nullptr;
    }
    if (!records->db_.open()) {
        if (error)
            *error = sqlError(records->db_.lastError());
        return nullptr;
    }
    QString ignored;
    records->exec(QStringLiteral("SET client_min_messages TO WARNING"), &ignored);
    if (!records->prepareSchema(error))
        return nullptr;
    return records;
}

bool RecordsDatabase::exec(const QString& sql, QString* error)
{
    QSqlQuery q(db_);
    if (!q.exec(sql)) {
        if (error)
            *error = sqlError(q.lastError());
        return false;
    }
    return true;
}

int RecordsDatabase::schemaVersion(QString* error)
{
    const QStringList tables = db_.tables();
    if (!tables.contains(QStringLiteral("schema_version"))) {
        // A file with tables of its own but none of ours is some other
        // program's; a server's database may be shared with other tables.
        if (!tables.isEmpty() && !server_) {
            if (error)
                *error = QStringLiteral("%1 holds other tables and no records schema.").arg(name_);
            return -1;
        }
        return 0;
    }
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) || !q.next()) {
        if (error)
            *error = sqlError(q.lastError());
        return -1;
    }
    return q.value(0).toInt();
}

bool RecordsDatabase::migrate(int target, QString* error)
{
    const int found = schemaVersion(error);
    if (found < 0)
        return false;
    if (found > kSchemaVersion) {
        if (error)
            *error = QStringLiteral("The records database %1 was written by a newer TarnPilot "
                                    "(schema version %2; this program knows up to %3). "
                                    "Nothing was written to it; use the newer program.")
                         .arg(name_)
                         .arg(found)
                         .arg(kSchemaVersion);
        return false;
    }
    if (found >= target)
        return true;
    return transact(
        [&](QString* failed) {
            for (int v = found; v < target; ++v) {
                for (QString sql : migrationStep(v)) {
                    sql.replace(QStringLiteral("%BLOB%"),
                                server_ ? QStringLiteral("BYTEA") : QStringLiteral("BLOB"));
                    sql.replace(QStringLiteral("%REAL%"),
                                server_ ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL"));
                    QString why;
                    if (!exec(sql, &why)) {
                        if (failed)
                            *failed = QStringLiteral("The records database %1 could not be brought "
                                                     "to schema version %2: %3")
                                          .arg(name_)
                                          .arg(v + 1)
                                          .arg(why);
                        return false;
                    }
                }
            }
            return true;
        },
        error);
}

bool RecordsDatabase::transact(const std::function<bool(QString*)>& body, QString* error)
{
    if (!db_.transaction()) {
        if (error)
            *error = sqlError(db_.lastError());
        return false;
    }
    if (!body(error)) {
        db_.rollback();
        return false;
    }
    if (!db_.commit()) {
        if (error)
            *error = sqlError(db_.lastError());
        db_.rollback();
        return false;
    }
    return true;
}

bool RecordsDatabase::prepareSchema(QString* error)
{
    return migrate(kSchemaVersion, error);
}

bool RecordsDatabase::writeRun(const RunInfo& i, const QString& server, QString* error)
{
    QSqlQuery q(db_);
    return run(q,
               QStringLiteral("INSERT INTO runs (") + kRunColumns
                   + QStringLiteral(", server) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
                                    " ON CONFLICT (id) DO UPDATE SET"
                                    " unit_model = excluded.unit_model, unit_asset = excluded.unit_asset,"
                                    " customer = excluded.customer, operator_name = excluded.operator_name,"
                                    " temperature = excluded.temperature, humidity = excluded.humidity,"
                                    " calibrator = excluded.calibrator"
                                    " WHERE runs.ended IS NULL"),
               {i.runId, text(i.asFoundRunId), text(i.procedureTitle), text(i.procedureRevision),
                text(i.procedureSha256), i.procedureText, text(i.procedureFile), text(i.instrument),
                text(i.unitModel), text(i.unitSerial), text(i.unitAsset), text(i.customer),
                text(i.operatorName), text(i.temperature), text(i.humidity), timeText(i.start),
                QVariant(QMetaType(QMetaType::QString)), text(i.calibrator), text(i.decisionRule),
                text(i.guard), i.pointsInProcedure, QVariant(QMetaType(QMetaType::QString)),
                QVariant(QMetaType(QMetaType::QString)), QVariant(QMetaType(QMetaType::QString)),
                text(server)},
               error);
}

bool RecordsDatabase::writePoint(const QString& runId, const PointResult& p, int attempt,
                                 bool queue, QString* error)
{
    return transact(
        [&](QString* failed) {
            QSqlQuery q(db_);
            if (!run(q, QStringLiteral("SELECT ended FROM runs WHERE id = ?"), {runId}, failed))
                return false;
            if (!q.next() || !q.value(0).toString().isEmpty()) {
                if (failed)
                    *failed = q.isValid() ? QStringLiteral("The run %1 has ended and is not changed.").arg(runId)
                                          : QStringLiteral("The run %1 is not in %2.").arg(runId, name_);
                return false;
            }
            return run(q,
                       QStringLiteral("INSERT INTO points (run_id, attempt, ") + kPointColumns
                           + QStringLiteral(") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
                                            " ON CONFLICT (run_id, point) DO UPDATE SET"
                                            " attempt = excluded.attempt, test = excluded.test,"
                                            " function_name = excluded.function_name, setting = excluded.setting,"
                                            " nominal = excluded.nominal, indicated = excluded.indicated,"
                                            " actual = excluded.actual, error_value = excluded.error_value,"
                                            " lower_limit = excluded.lower_limit, upper_limit = excluded.upper_limit,"
                                            " unit = excluded.unit, tolerance_used = excluded.tolerance_used,"
                                            " result = excluded.result"
                                            " WHERE points.attempt < excluded.attempt"),
                       {runId, attempt, p.point, text(p.test), text(p.function), text(p.setting),
                        number(p.nominal), number(p.indicated), number(p.actual), number(p.error),
                        number(p.lower), number(p.upper), text(p.unit), number(p.toleranceUsed),
                        verdictText(p.result)},
                       failed)
                   && (!queue || queueCopy(runId, p.point, failed));
        },
        error);
}

int RecordsDatabase::pointAttempt(const QString& runId, int point, QString* error)
{
    QSqlQuery q(db_);
    if (!run(q, QStringLiteral("SELECT attempt FROM points WHERE run_id = ? AND point = ?"),
             {runId, point}, error))
        return -1;
    return q.next() ? q.value(0).toInt() : 0;
}

bool RecordsDatabase::endRun(const RunInfo& i, bool queue, QString* error)
{
    return transact(
        [&](QString* failed) {
            QSqlQuery q(db_);
            return run(q,
                       QStringLiteral("UPDATE runs SET ended = ?, overall = ? WHERE id = ? AND ended IS NULL"),
                       {timeText(i.end), i.overall ? overallText(*i.overall) : QString(), i.runId}, failed)
                   && (!queue || queueCopy(i.runId, 0, failed));
        },
        error);
}

bool RecordsDatabase::setCertificate(const QString& runId, const QString& number,
                                     const QDateTime& issued, QString* error)
{
    QSqlQuery q(db_);
    if (!run(q,
             QStringLiteral("UPDATE runs SET certificate_number = ?, certificate_issued = ?"
                            " WHERE id = ? AND ended IS NOT NULL AND certificate_number IS NULL"),
             {number, timeText(issued), runId}, error))
        return false;
    if (q.numRowsAffected() != 1) {
        if (error)
            *error = QStringLiteral("The run %1 has not ended or has a certificate already.").arg(runId);
        return false;
    }
    return true;
}

std::optional<RunRecord> RecordsDatabase::loadRun(const QString& runId, QString* error)
{
    QSqlQuery q(db_);
    if (!run(q, QStringLiteral("SELECT ") + kRunColumns + QStringLiteral(" FROM runs WHERE id = ?"),
             {runId}, error))
        return std::nullopt;
    if (!q.next()) {
        if (error)
            *error = QStringLiteral("The run %1 is not in %2.").arg(runId, name_);
        return std::nullopt;
    }
    RunRecord r;
    RunInfo& i = r.info;
    int c = 0;
    const auto next = [&] { return q.value(c++); };
    i.runId = next().toString();
    i.asFoundRunId = next().toString();
    i.procedureTitle = next().toString();
    i.procedureRevision = next().toString();
    i.procedureSha256 = next().toString();
    i.procedureText = next().toByteArray();
    i.procedureFile = next().toString();
    i.instrument = next().toString();
    i.unitModel = next().toString();
    i.unitSerial = next().toString();
    i.unitAsset = next().toString();
    i.customer = next().toString();
    i.operatorName = next().toString();
    i.temperature = next().toString();
    i.humidity = next().toString();
    i.start = timeFrom(next());
    i.end = timeFrom(next());
    i.calibrator = next().toString();
    i.decisionRule = next().toString();
    i.guard = next().toString();
    i.pointsInProcedure = next().toInt();
    i.overall = overallFromText(next().toString());
    i.certificateNumber = next().toString();
    i.certificateIssued = timeFrom(next());

    if (!run(q, QStringLiteral("SELECT ") + kPointColumns
                    + QStringLiteral(" FROM points WHERE run_id = ? ORDER BY point"),
             {runId}, error))
        return std::nullopt;
    while (q.next()) {
        PointResult p;
        c = 0;
        p.point = next().toInt();
        p.test = next().toString();
        p.function = next().toString();
        p.setting = next().toString();
        p.nominal = numberFrom(next());
        p.indicated = numberFrom(next());
        p.actual = numberFrom(next());
        p.error = numberFrom(next());
        p.lower = numberFrom(next());
        p.upper = numberFrom(next());
        p.unit = next().toString();
        p.toleranceUsed = numberFrom(next());
        p.result = verdictFromText(next().toString()).value_or(Verdict::Skipped);
        r.points << p;
    }
    return r;
}

QList<int> RecordsDatabase::attempts(const QString& runId, QString* error)
{
    QList<int> out;
    QSqlQuery q(db_);
    if (run(q, QStringLiteral("SELECT attempt FROM points WHERE run_id = ? ORDER BY point"), {runId},
            error))
        while (q.next())
            out << q.value(0).toInt();
    return out;
}

QList<RunSummary> RecordsDatabase::runsOf(const QString& serial, QString* error)
{
    QList<RunSummary> out;
    QSqlQuery q(db_);
    if (!run(q,
             QStringLiteral("SELECT id, as_found_id, started, procedure_title, operator_name, overall,"
                            " certificate_number, ended FROM runs WHERE unit_serial = ?"),
             {serial}, error))
        return out;
    while (q.next()) {
        RunSummary s;
        s.runId = q.value(0).toString();
        s.asFoundRunId = q.value(1).toString();
        s.start = timeFrom(q.value(2));
        s.procedureTitle = q.value(3).toString();
        s.operatorName = q.value(4).toString();
        s.overall = overallFromText(q.value(5).toString());
        s.certificateNumber = q.value(6).toString();
        s.end = timeFrom(q.value(7));
        out << s;
    }
    // Newest first by the instant, whatever offset each start was written
    // in; of runs begun in the same second, the one still going or ended
    // last is the newer.
    std::stable_sort(out.begin(), out.end(), [](const RunSummary& a, const RunSummary& b) {
        if (a.start != b.start)
            return a.start > b.start;
        if (a.end.isValid() != b.end.isValid())
            return !a.end.isValid();
        return a.end > b.end;
    });
    return out;
}

QStringList RecordsDatabase::runsOfSecond(const QString& serial, const QDateTime& start,
                                         QString* error)
{
    QStringList out;
    QSqlQuery q(db_);
    const QString second = timeText(start).left(19);  // yyyy-MM-ddTHH:mm:ss
    if (run(q,
            QStringLiteral("SELECT id FROM runs WHERE unit_serial = ? AND substr(started, 1, 19) = ?"
                           " ORDER BY rowid"),
            {serial, second}, error))
        while (q.next())
            out << q.value(0).toString();
    return out;
}

QString RecordsDatabase::asLeftRunOf(const QString& runId, QString* error)
{
    QSqlQuery q(db_);
    if (!run(q, QStringLiteral("SELECT id, started FROM runs WHERE as_found_id = ?"), {runId}, error))
        return {};
    QString newest;
    QDateTime newestStart;
    while (q.next()) {
        const QDateTime start = timeFrom(q.value(1));
        if (newest.isEmpty() || start > newestStart) {
            newest = q.value(0).toString();
            newestStart = start;
        }
    }
    return newest;
}

std::optional<int> RecordsDatabase::nextCertificateSequence(const QString& series, QString* error)
{
    int value = 0;
    const bool ok = transact(
        [&](QString* failed) {
            QSqlQuery q(db_);
            if (!run(q,
                     QStringLiteral("INSERT INTO certificate_sequence (series, last_number) VALUES (?, 1)"
                                    " ON CONFLICT (series) DO UPDATE SET"
                                    " last_number = certificate_sequence.last_number + 1"),
                     {series}, failed)
                || !run(q, QStringLiteral("SELECT last_number FROM certificate_sequence WHERE series = ?"),
                        {series}, failed)
                || !q.next())
                return false;
            value = q.value(0).toInt();
            return true;
        },
        error);
    return ok ? std::optional<int>(value) : std::nullopt;
}

bool RecordsDatabase::queueCopy(const QString& runId, int point, QString* error)
{
    QSqlQuery q(db_);
    return run(q,
               QStringLiteral("INSERT INTO pending_copies (run_id, point) VALUES (?, ?)"
                              " ON CONFLICT (run_id, point) DO NOTHING"),
               {runId, point}, error);
}

bool RecordsDatabase::unqueueCopy(const QString& runId, int point, QString* error)
{
    QSqlQuery q(db_);
    return run(q, QStringLiteral("DELETE FROM pending_copies WHERE run_id = ? AND point = ?"),
               {runId, point}, error);
}

QList<std::pair<QString, int>> RecordsDatabase::queuedCopies(QString* error)
{
    QList<std::pair<QString, int>> out;
    QSqlQuery q(db_);
    if (run(q, QStringLiteral("SELECT run_id, point FROM pending_copies ORDER BY run_id, point"), {},
            error))
        while (q.next())
            out.push_back({q.value(0).toString(), q.value(1).toInt()});
    return out;
}

QString RecordsDatabase::serverOf(const QString& runId, QString* error)
{
    QSqlQuery q(db_);
    if (!run(q, QStringLiteral("SELECT server FROM runs WHERE id = ?"), {runId}, error) || !q.next())
        return {};
    return q.value(0).toString();
}

} // namespace tarn
