#include "records/records_database.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <map>

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
        {
            // The run's particulars, the calibrator's file, the
            // approval and the link between an amended record and the one
            // it replaces.
            QStringLiteral("ALTER TABLE runs ADD COLUMN customer_address TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN unit_maker TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN date_received TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN condition_on_receipt TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN data_sheet TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN temperature_c %REAL%"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN humidity_rh %REAL%"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN adjustment TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN uut_identification TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN calibrator_model TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN calibrator_serial TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN calibrator_certificate TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN calibrator_due TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN calibrator_spec_text %BLOB%"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN calibrator_spec_sha256 TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN calibrator_past_due INTEGER"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN approved_by TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN approved TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN replaces_certificate TEXT"),
            QStringLiteral("ALTER TABLE runs ADD COLUMN replaced_by TEXT"),
            // Every attempt at a point is a row of its own; the point's
            // result is its highest attempt.
            QStringLiteral("CREATE TABLE point_attempts ("
                           " run_id TEXT NOT NULL, point INTEGER NOT NULL, attempt INTEGER NOT NULL,"
                           " test TEXT, function_name TEXT, setting TEXT,"
                           " nominal %REAL%, indicated %REAL%, actual %REAL%, error_value %REAL%,"
                           " lower_limit %REAL%, upper_limit %REAL%, unit TEXT,"
                           " tolerance_used %REAL%, result TEXT NOT NULL,"
                           " uncertainty %REAL%, coverage_factor %REAL%, tur %REAL%, rise_time %REAL%,"
                           " taken_at TEXT, taken_by TEXT, remark TEXT,"
                           " correction_reason TEXT, corrected_by TEXT,"
                           " PRIMARY KEY (run_id, point, attempt))"),
            QStringLiteral("INSERT INTO point_attempts (run_id, point, attempt, test, function_name,"
                           " setting, nominal, indicated, actual, error_value, lower_limit, upper_limit,"
                           " unit, tolerance_used, result)"
                           " SELECT run_id, point, attempt, test, function_name, setting, nominal,"
                           " indicated, actual, error_value, lower_limit, upper_limit, unit,"
                           " tolerance_used, result FROM points"),
            QStringLiteral("DROP TABLE points"),
            QStringLiteral("ALTER TABLE point_attempts RENAME TO points"),
            QStringLiteral("CREATE TABLE budget_components ("
                           " run_id TEXT NOT NULL, point INTEGER NOT NULL, attempt INTEGER NOT NULL,"
                           " position INTEGER NOT NULL, name TEXT, value %REAL%, distribution TEXT,"
                           " divisor %REAL%, sensitivity %REAL%, standard_uncertainty %REAL%,"
                           " degrees_of_freedom %REAL%,"
                           " PRIMARY KEY (run_id, point, attempt, position))"),
            QStringLiteral("CREATE TABLE point_readings ("
                           " run_id TEXT NOT NULL, point INTEGER NOT NULL, attempt INTEGER NOT NULL,"
                           " position INTEGER NOT NULL, value %REAL% NOT NULL,"
                           " PRIMARY KEY (run_id, point, attempt, position))"),
            QStringLiteral("UPDATE schema_version SET version = 3"),
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

QVariant dateText(const QDate& date)
{
    return date.isValid() ? QVariant(date.toString(Qt::ISODate)) : QVariant(QMetaType(QMetaType::QString));
}

QDate dateFrom(const QVariant& value)
{
    const QString text = value.toString();
    return text.isEmpty() ? QDate() : QDate::fromString(text, Qt::ISODate);
}

QVariant nullText()
{
    return QVariant(QMetaType(QMetaType::QString));
}

QString placeholders(qsizetype count)
{
    QStringList marks;
    for (qsizetype i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1Char(','));
}

// The run's columns, in the order runValues() and readRun() use. The ones
// a copy of a run does not take over (its identity, certificate, approval
// and links) come first.
const QStringList kRunIdentity = {
    QStringLiteral("id"),           QStringLiteral("as_found_id"),
    QStringLiteral("certificate_number"), QStringLiteral("certificate_issued"),
    QStringLiteral("approved_by"),  QStringLiteral("approved"),
    QStringLiteral("replaces_certificate"),
};
const QStringList kRunParticulars = {
    QStringLiteral("procedure_title"), QStringLiteral("procedure_revision"),
    QStringLiteral("procedure_sha256"), QStringLiteral("procedure_text"),
    QStringLiteral("procedure_file"), QStringLiteral("instrument"),
    QStringLiteral("unit_model"), QStringLiteral("unit_serial"), QStringLiteral("unit_asset"),
    QStringLiteral("customer"), QStringLiteral("customer_address"), QStringLiteral("unit_maker"),
    QStringLiteral("date_received"), QStringLiteral("condition_on_receipt"),
    QStringLiteral("data_sheet"), QStringLiteral("operator_name"),
    QStringLiteral("temperature"), QStringLiteral("humidity"),
    QStringLiteral("temperature_c"), QStringLiteral("humidity_rh"),
    QStringLiteral("adjustment"), QStringLiteral("uut_identification"),
    QStringLiteral("started"), QStringLiteral("ended"), QStringLiteral("calibrator"),
    QStringLiteral("calibrator_model"), QStringLiteral("calibrator_serial"),
    QStringLiteral("calibrator_certificate"), QStringLiteral("calibrator_due"),
    QStringLiteral("calibrator_spec_text"), QStringLiteral("calibrator_spec_sha256"),
    QStringLiteral("calibrator_past_due"),
    QStringLiteral("decision_rule"), QStringLiteral("guard"),
    QStringLiteral("points_in_procedure"), QStringLiteral("overall"),
};
// Brought up to date when a run is written again before it has ended.
const QStringList kRunUpdatable = {
    QStringLiteral("unit_model"), QStringLiteral("unit_asset"), QStringLiteral("customer"),
    QStringLiteral("customer_address"), QStringLiteral("unit_maker"),
    QStringLiteral("date_received"), QStringLiteral("condition_on_receipt"),
    QStringLiteral("operator_name"), QStringLiteral("temperature"), QStringLiteral("humidity"),
    QStringLiteral("temperature_c"), QStringLiteral("humidity_rh"), QStringLiteral("adjustment"),
    QStringLiteral("uut_identification"), QStringLiteral("calibrator"),
    QStringLiteral("calibrator_model"), QStringLiteral("calibrator_serial"),
    QStringLiteral("calibrator_certificate"), QStringLiteral("calibrator_due"),
    QStringLiteral("calibrator_spec_text"), QStringLiteral("calibrator_spec_sha256"),
    QStringLiteral("calibrator_past_due"),
};
const QString kRunColumns = (kRunIdentity + kRunParticulars).join(QStringLiteral(", "));

QVariantList runValues(const RunInfo& i)
{
    return {i.runId, text(i.asFoundRunId), nullText(), nullText(), nullText(), nullText(),
            text(i.replacesCertificate),
            text(i.procedureTitle), text(i.procedureRevision), text(i.procedureSha256),
            i.procedureText, text(i.procedureFile), text(i.instrument), text(i.unitModel),
            text(i.unitSerial), text(i.unitAsset), text(i.customer), text(i.customerAddress),
            text(i.unitMaker), dateText(i.dateReceived), text(i.condition), text(i.dataSheet),
            text(i.operatorName), text(i.temperature), text(i.humidity), number(i.temperatureC),
            number(i.humidityRH), text(i.adjustment), text(i.uutIdentification), timeText(i.start),
            nullText(), text(i.calibrator), text(i.calibratorModel), text(i.calibratorSerial),
            text(i.calibratorCertificate), dateText(i.calibratorDue), i.calibratorSpecText,
            text(i.calibratorSpecSha256), int(i.calibratorPastDue), text(i.decisionRule),
            text(i.guard), i.pointsInProcedure, nullText()};
}

RunInfo readRun(const QSqlQuery& q)
{
    RunInfo i;
    int c = 0;
    const auto next = [&] { return q.value(c++); };
    i.runId = next().toString();
    i.asFoundRunId = next().toString();
    i.certificateNumber = next().toString();
    i.certificateIssued = timeFrom(next());
    i.approvedBy = next().toString();
    i.approved = timeFrom(next());
    i.replacesCertificate = next().toString();
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
    i.customerAddress = next().toString();
    i.unitMaker = next().toString();
    i.dateReceived = dateFrom(next());
    i.condition = next().toString();
    i.dataSheet = next().toString();
    i.operatorName = next().toString();
    i.temperature = next().toString();
    i.humidity = next().toString();
    i.temperatureC = numberFrom(next());
    i.humidityRH = numberFrom(next());
    i.adjustment = next().toString();
    i.uutIdentification = next().toString();
    i.start = timeFrom(next());
    i.end = timeFrom(next());
    i.calibrator = next().toString();
    i.calibratorModel = next().toString();
    i.calibratorSerial = next().toString();
    i.calibratorCertificate = next().toString();
    i.calibratorDue = dateFrom(next());
    i.calibratorSpecText = next().toByteArray();
    i.calibratorSpecSha256 = next().toString();
    i.calibratorPastDue = next().toInt() != 0;
    i.decisionRule = next().toString();
    i.guard = next().toString();
    i.pointsInProcedure = next().toInt();
    i.overall = overallFromText(next().toString());
    return i;
}

// The columns of an attempt at a point after run_id, in the order
// pointValues() and readPoint() use.
const QString kPointColumns = QStringLiteral(
    "point, attempt, test, function_name, setting, nominal, indicated, actual, error_value,"
    " lower_limit, upper_limit, unit, tolerance_used, result, uncertainty, coverage_factor, tur,"
    " rise_time, taken_at, taken_by, remark, correction_reason, corrected_by");

QVariantList pointValues(const QString& runId, const PointResult& p, int attempt)
{
    return {runId, p.point, attempt, text(p.test), text(p.function), text(p.setting),
            number(p.nominal), number(p.indicated), number(p.actual), number(p.error),
            number(p.lower), number(p.upper), text(p.unit), number(p.toleranceUsed),
            verdictText(p.result), number(p.uncertainty), number(p.coverageFactor), number(p.tur),
            number(p.riseTime), timeText(p.takenAt), text(p.takenBy), text(p.remark),
            text(p.correctionReason), text(p.correctedBy)};
}

PointResult readPoint(const QSqlQuery& q)
{
    PointResult p;
    int c = 0;
    const auto next = [&] { return q.value(c++); };
    p.point = next().toInt();
    p.attempt = next().toInt();
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
    p.uncertainty = numberFrom(next());
    p.coverageFactor = numberFrom(next());
    p.tur = numberFrom(next());
    p.riseTime = numberFrom(next());
    p.takenAt = timeFrom(next());
    p.takenBy = next().toString();
    p.remark = next().toString();
    p.correctionReason = next().toString();
    p.correctedBy = next().toString();
    return p;
}

const QString kBudgetColumns = QStringLiteral(
    "name, value, distribution, divisor, sensitivity, standard_uncertainty, degrees_of_freedom");

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
    return openServerAt(address, timeoutSeconds, kSchemaVersion, error);
}

std::unique_ptr<RecordsDatabase> RecordsDatabase::openServerAt(const ServerAddress& address,
                                                               int timeoutSeconds, int version,
                                                               QString* error)
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
    if (!records->migrate(version, error))
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
    QStringList updates;
    for (const QString& column : kRunUpdatable)
        updates << column + QStringLiteral(" = excluded.") + column;
    QVariantList values = runValues(i);
    values << text(server);
    QSqlQuery q(db_);
    return run(q,
               QStringLiteral("INSERT INTO runs (") + kRunColumns + QStringLiteral(", server) VALUES (")
                   + placeholders(values.size()) + QStringLiteral(") ON CONFLICT (id) DO UPDATE SET ")
                   + updates.join(QStringLiteral(", ")) + QStringLiteral(" WHERE runs.ended IS NULL"),
               values, error);
}

bool RecordsDatabase::insertAttempt(const QString& runId, const PointResult& p, int attempt,
                                    QString* error)
{
    QSqlQuery q(db_);
    const QVariantList values = pointValues(runId, p, attempt);
    if (!run(q,
             QStringLiteral("INSERT INTO points (run_id, ") + kPointColumns + QStringLiteral(") VALUES (")
                 + placeholders(values.size())
                 + QStringLiteral(") ON CONFLICT (run_id, point, attempt) DO NOTHING"),
             values, error))
        return false;
    if (q.numRowsAffected() < 1)
        return true;  // a copy repeated: the attempt is there already
    for (qsizetype at = 0; at < p.budget.size(); ++at) {
        const BudgetComponent& b = p.budget[at];
        if (!run(q,
                 QStringLiteral("INSERT INTO budget_components (run_id, point, attempt, position, ")
                     + kBudgetColumns + QStringLiteral(") VALUES (?,?,?,?,?,?,?,?,?,?,?)"),
                 {runId, p.point, attempt, int(at), text(b.name), b.value, text(b.distribution),
                  b.divisor, b.sensitivity, b.standardUncertainty, number(b.degreesOfFreedom)},
                 error))
            return false;
    }
    for (qsizetype at = 0; at < p.readings.size(); ++at)
        if (!run(q,
                 QStringLiteral("INSERT INTO point_readings (run_id, point, attempt, position, value)"
                                " VALUES (?,?,?,?,?)"),
                 {runId, p.point, attempt, int(at), p.readings[at]}, error))
            return false;
    return true;
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
            return insertAttempt(runId, p, attempt, failed)
                   && (!queue || queueCopy(runId, p.point, failed));
        },
        error);
}

int RecordsDatabase::pointAttempt(const QString& runId, int point, QString* error)
{
    QSqlQuery q(db_);
    if (!run(q, QStringLiteral("SELECT MAX(attempt) FROM points WHERE run_id = ? AND point = ?"),
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

bool RecordsDatabase::checkOpenForChange(const QString& runId, QString* error)
{
    QSqlQuery q(db_);
    if (!run(q, QStringLiteral("SELECT ended, certificate_number, replaced_by FROM runs WHERE id = ?"),
             {runId}, error))
        return false;
    QString why;
    if (!q.next())
        why = QStringLiteral("The run %1 is not in %2.").arg(runId, name_);
    else if (q.value(0).toString().isEmpty())
        why = QStringLiteral("The run %1 has not ended.").arg(runId);
    else if (!q.value(1).toString().isEmpty())
        why = QStringLiteral("The certificate %1 has been issued for the run %2.")
                  .arg(q.value(1).toString(), runId);
    else if (!q.value(2).toString().isEmpty())
        why = QStringLiteral("The run %1 has been replaced by an amended record.").arg(runId);
    if (why.isEmpty())
        return true;
    if (error)
        *error = why;
    return false;
}

bool RecordsDatabase::writeCorrection(const QString& runId, const PointResult& p, Overall overall,
                                      QString* error)
{
    return transact(
        [&](QString* failed) {
            const int last = pointAttempt(runId, p.point, failed);
            if (last < 0 || !checkOpenForChange(runId, failed))
                return false;
            if (p.attempt <= last) {
                if (failed)
                    *failed = QStringLiteral("Point %1 of the run %2 has attempt %3 already.")
                                  .arg(p.point)
                                  .arg(runId)
                                  .arg(p.attempt);
                return false;
            }
            QSqlQuery q(db_);
            return insertAttempt(runId, p, p.attempt, failed)
                   && run(q, QStringLiteral("UPDATE runs SET overall = ? WHERE id = ?"),
                          {overallText(overall), runId}, failed);
        },
        error);
}

bool RecordsDatabase::amendRun(const QString& oldId, const QString& newId, const QString& asFoundId,
                               const QString& replacesCertificate,
                               const std::optional<PointResult>& correction,
                               std::optional<Overall> overall, QString* error)
{
    return transact(
        [&](QString* failed) {
            QSqlQuery q(db_);
            if (!run(q, QStringLiteral("SELECT ended, replaced_by FROM runs WHERE id = ?"), {oldId}, failed))
                return false;
            if (!q.next() || q.value(0).toString().isEmpty() || !q.value(1).toString().isEmpty()) {
                if (failed)
                    *failed = QStringLiteral("The run %1 is not a finished run that can be amended.").arg(oldId);
                return false;
            }
            const QString particulars = kRunParticulars.join(QStringLiteral(", "));
            const QString pointColumns = kPointColumns;
            const QString budget = QStringLiteral("point, attempt, position, ") + kBudgetColumns;
            const QString readings = QStringLiteral("point, attempt, position, value");
            if (!run(q,
                     QStringLiteral("INSERT INTO runs (id, as_found_id, replaces_certificate, server, ")
                         + particulars + QStringLiteral(") SELECT ?, ?, ?, server, ") + particulars
                         + QStringLiteral(" FROM runs WHERE id = ?"),
                     {newId, text(asFoundId), text(replacesCertificate), oldId}, failed))
                return false;
            for (const auto& [table, columns] :
                 {std::pair{QStringLiteral("points"), pointColumns},
                  std::pair{QStringLiteral("budget_components"), budget},
                  std::pair{QStringLiteral("point_readings"), readings}})
                if (!run(q,
                         QStringLiteral("INSERT INTO %1 (run_id, %2) SELECT ?, %2 FROM %1 WHERE run_id = ?")
                             .arg(table, columns),
                         {newId, oldId}, failed))
                    return false;
            if (!run(q, QStringLiteral("UPDATE runs SET replaced_by = ? WHERE id = ?"), {newId, oldId}, failed))
                return false;
            if (correction && !insertAttempt(newId, *correction, correction->attempt, failed))
                return false;
            return !overall
                   || run(q, QStringLiteral("UPDATE runs SET overall = ? WHERE id = ?"),
                          {overallText(*overall), newId}, failed);
        },
        error);
}

bool RecordsDatabase::setCertificate(const QString& runId, const QString& number,
                                     const QDateTime& issued, const QString& approvedBy,
                                     QString* error)
{
    QSqlQuery q(db_);
    if (!run(q,
             QStringLiteral("UPDATE runs SET certificate_number = ?, certificate_issued = ?,"
                            " approved_by = ?, approved = ?"
                            " WHERE id = ? AND ended IS NOT NULL AND certificate_number IS NULL"
                            " AND replaced_by IS NULL"),
             {number, timeText(issued), text(approvedBy), timeText(issued), runId}, error))
        return false;
    if (q.numRowsAffected() != 1) {
        if (error)
            *error = QStringLiteral("The run %1 has not ended, has a certificate already or has "
                                    "been replaced.")
                         .arg(runId);
        return false;
    }
    return true;
}

QList<PointResult> RecordsDatabase::attemptsOf(const QString& runId, QString* error)
{
    QList<PointResult> out;
    QSqlQuery q(db_);
    if (!run(q, QStringLiteral("SELECT ") + kPointColumns
                    + QStringLiteral(" FROM points WHERE run_id = ? ORDER BY point, attempt"),
             {runId}, error))
        return out;
    std::map<std::pair<int, int>, qsizetype> at;
    while (q.next()) {
        out << readPoint(q);
        at[{out.last().point, out.last().attempt}] = out.size() - 1;
    }
    if (!run(q, QStringLiteral("SELECT point, attempt, ") + kBudgetColumns
                    + QStringLiteral(" FROM budget_components WHERE run_id = ?"
                                     " ORDER BY point, attempt, position"),
             {runId}, error))
        return {};
    while (q.next()) {
        const auto found = at.find({q.value(0).toInt(), q.value(1).toInt()});
        if (found == at.end())
            continue;
        BudgetComponent b;
        b.name = q.value(2).toString();
        b.value = q.value(3).toDouble();
        b.distribution = q.value(4).toString();
        b.divisor = q.value(5).toDouble();
        b.sensitivity = q.value(6).toDouble();
        b.standardUncertainty = q.value(7).toDouble();
        b.degreesOfFreedom = numberFrom(q.value(8));
        out[found->second].budget << b;
    }
    if (!run(q, QStringLiteral("SELECT point, attempt, value FROM point_readings WHERE run_id = ?"
                               " ORDER BY point, attempt, position"),
             {runId}, error))
        return {};
    while (q.next()) {
        const auto found = at.find({q.value(0).toInt(), q.value(1).toInt()});
        if (found != at.end())
            out[found->second].readings << q.value(2).toDouble();
    }
    return out;
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
    r.info = readRun(q);
    QString why;
    const QList<PointResult> all = attemptsOf(runId, &why);
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    // The point's result is its last attempt.
    for (const PointResult& p : all) {
        if (!r.points.isEmpty() && r.points.last().point == p.point)
            r.points.last() = p;
        else
            r.points << p;
    }
    return r;
}

QList<int> RecordsDatabase::attempts(const QString& runId, QString* error)
{
    QList<int> out;
    QSqlQuery q(db_);
    if (run(q, QStringLiteral("SELECT MAX(attempt) FROM points WHERE run_id = ? GROUP BY point ORDER BY point"),
            {runId}, error))
        while (q.next())
            out << q.value(0).toInt();
    return out;
}

namespace {

// Whether `newer` replaces `older`, directly or through later amendments.
bool replaces(const QList<RunSummary>& runs, const RunSummary& newer, const RunSummary& older)
{
    QString next = older.replacedBy;
    for (qsizetype guard = 0; !next.isEmpty() && guard <= runs.size(); ++guard) {
        if (next == newer.runId)
            return true;
        const auto at = std::find_if(runs.begin(), runs.end(),
                                     [&](const RunSummary& r) { return r.runId == next; });
        next = at == runs.end() ? QString() : at->replacedBy;
    }
    return false;
}

} // namespace

QList<RunSummary> RecordsDatabase::runsOf(const QString& serial, QString* error)
{
    QList<RunSummary> out;
    QSqlQuery q(db_);
    if (!run(q,
             QStringLiteral("SELECT r.id, r.as_found_id, r.started, r.procedure_title, r.operator_name,"
                            " r.overall, r.certificate_number, r.ended, r.approved_by,"
                            " r.replaces_certificate, r.replaced_by, n.certificate_number"
                            " FROM runs r LEFT JOIN runs n ON n.id = r.replaced_by"
                            " WHERE r.unit_serial = ?"),
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
        s.approvedBy = q.value(8).toString();
        s.replacesCertificate = q.value(9).toString();
        s.replacedBy = q.value(10).toString();
        s.replacedByCertificate = q.value(11).toString();
        out << s;
    }
    // A run as found is certified with its as-left run: it is issued with
    // that one's number, and replaced when that one's amendment is issued.
    const auto numberOfAsLeft = [&](const QString& asFound) {
        for (const RunSummary& l : out)
            if (l.asFoundRunId == asFound && !l.certificateNumber.isEmpty())
                return l.certificateNumber;
        return QString();
    };
    for (RunSummary& r : out) {
        if (r.certificateNumber.isEmpty())
            r.issuedWith = numberOfAsLeft(r.runId);
        if (!r.replacedBy.isEmpty() && r.replacedByCertificate.isEmpty())
            r.replacedByCertificate = numberOfAsLeft(r.replacedBy);
    }
    // Newest first by the instant, whatever offset each start was written
    // in; of runs begun in the same second, the one still going or ended
    // last is the newer; an amended record comes before the one it
    // replaces (it keeps that one's times).
    std::sort(out.begin(), out.end(), [&](const RunSummary& a, const RunSummary& b) {
        if (a.start != b.start)
            return a.start > b.start;
        if (a.end.isValid() != b.end.isValid())
            return !a.end.isValid();
        if (a.end != b.end)
            return a.end > b.end;
        if (replaces(out, a, b) != replaces(out, b, a))
            return replaces(out, a, b);
        return a.runId < b.runId;
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
