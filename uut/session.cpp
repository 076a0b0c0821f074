#include "uut/session.h"

#include "channel/command_log.h"

#include <QRegularExpression>

namespace tarn {

namespace {

// A reply as the log shows it: printable ASCII as is, the rest escaped.
QString shown(const QByteArray& bytes)
{
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f)
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace

UutIdentity ParseUutIdentity(const QString& reply)
{
    UutIdentity id;
    id.reply = reply.trimmed();
    // A unit whose replies carry headers may answer "*IDN maker,model,...".
    static const QRegularExpression header(QStringLiteral("^\\*IDN\\??\\s+"), QRegularExpression::CaseInsensitiveOption);
    const QString fieldsText = QString(id.reply).remove(header);
    const QStringList fields = fieldsText.split(u',');
    auto field = [&](int i) { return i < fields.size() ? fields.at(i).trimmed() : QString(); };
    id.maker = field(0);
    id.model = field(1);
    id.serial = field(2);
    // Some firmware versions hold commas of their own.
    id.firmware = fields.size() > 3 ? fields.mid(3).join(u',').trimmed() : QString();
    return id;
}

InstrumentSession::InstrumentSession(UutDriver driver, UutResource resource, UutConnector& connector,
                                     CommandLog* log, std::function<void(int)> sleep)
    : driver_(std::move(driver)), resource_(std::move(resource)), connector_(connector), log_(log),
      sleep_(std::move(sleep))
{
}

InstrumentSession::~InstrumentSession()
{
    close();
}

void InstrumentSession::close()
{
    if (connection_)
        connection_->close();
    connection_.reset();
    selected_.reset();
}

UutFault InstrumentSession::fault(UutFault::Kind kind, const QString& message)
{
    if (log_)
        log_->add(LogEntry::UutFault, message);
    return {kind, message};
}

void InstrumentSession::lose(const QString& reason)
{
    close();
    Q_UNUSED(reason);
}

bool InstrumentSession::send(const QString& command, UutFault* out)
{
    if (log_)
        log_->add(LogEntry::UutSent, command);
    const UutExchange sent = connection_->write(command.toUtf8());
    if (sent.status == UutExchange::Status::Ok)
        return true;
    lose(sent.reason);
    *out = fault(UutFault::Kind::ConnectionLost, QStringLiteral("the connection to the unit was lost: ") + sent.reason);
    return false;
}

UutExchange InstrumentSession::ask(const QString& query)
{
    if (log_)
        log_->add(LogEntry::UutSent, query);
    const UutExchange answer = connection_->query(query.toUtf8(), driver_.timeoutMs);
    if (answer.status == UutExchange::Status::Ok && log_)
        log_->add(LogEntry::UutReceived, shown(answer.reply));
    return answer;
}

UutFault InstrumentSession::connect()
{
    close();
    QString problem;
    connection_ = connector_.open(resource_, driver_.timeoutMs, &problem);
    if (!connection_)
        return fault(UutFault::Kind::CannotConnect,
                     QStringLiteral("cannot connect to the unit at %1: %2").arg(resource_.text, problem));
    const UutExchange idn = ask(QStringLiteral("*IDN?"));
    if (idn.status != UutExchange::Status::Ok) {
        const bool lost = idn.status == UutExchange::Status::Lost;
        close();
        return fault(lost ? UutFault::Kind::ConnectionLost : UutFault::Kind::Timeout,
                     QStringLiteral("the unit at %1 does not answer *IDN?: %2").arg(resource_.text, idn.reason));
    }
    identity_ = ParseUutIdentity(QString::fromUtf8(idn.reply));
    const QRegularExpression identify(driver_.identify, QRegularExpression::CaseInsensitiveOption);
    if (!identify.match(identity_.reply).hasMatch()) {
        close();
        return fault(UutFault::Kind::WrongUnit,
                     QStringLiteral("the unit answers \"%1\", which the driver %2 is not for (it expects %3)")
                         .arg(shown(idn.reply), driver_.name, driver_.identify));
    }
    UutFault failed;
    for (const QString& command : driver_.setup)
        if (!send(command, &failed))
            return failed;
    return {};
}

UutReading InstrumentSession::measure(MeasureKind kind, int channel)
{
    UutReading out;
    const std::optional<DriverMeasurement>& m = driver_.measurement(kind);
    if (!m) {
        out.fault = fault(UutFault::Kind::NotInDriver, QStringLiteral("the driver %1 has no %2 measurement")
                                                            .arg(driver_.name, MeasureKindName(kind)));
        return out;
    }
    if (!connection_) {
        if (const UutFault failed = connect()) {
            out.fault = failed;
            if (failed.kind == UutFault::Kind::CannotConnect)
                out.fault.kind = UutFault::Kind::ConnectionLost;
            return out;
        }
    }
    if (selected_ != std::make_pair(kind, channel)) {
        for (const QString& command : m->select)
            if (!send(WithChannel(command, channel), &out.fault))
                return out;
        selected_ = std::make_pair(kind, channel);
        if (!m->select.isEmpty() && sleep_)
            sleep_(driver_.settleMs);
    }
    const QString query = WithChannel(m->query, channel);
    for (int attempt = 1;; ++attempt) {
        const UutExchange answer = ask(query);
        const bool last = attempt == 2;
        if (answer.status == UutExchange::Status::Lost) {
            lose(answer.reason);
            out.fault = fault(UutFault::Kind::ConnectionLost,
                              QStringLiteral("the connection to the unit was lost: ") + answer.reason);
            return out;
        }
        if (answer.status == UutExchange::Status::Timeout) {
            if (last) {
                out.fault = fault(UutFault::Kind::Timeout,
                                  QStringLiteral("the unit did not answer %1 twice: %2").arg(query, answer.reason));
                return out;
            }
            fault(UutFault::Kind::Timeout, answer.reason + QStringLiteral("; asking again"));
            continue;
        }
        const ParsedReply parsed = ParseUutReply(driver_, kind, answer.reply);
        switch (parsed.outcome) {
        case ParsedReply::Outcome::Value:
            out.value = parsed.value;
            return out;
        case ParsedReply::Outcome::Unparsable:
            out.fault = fault(UutFault::Kind::Unparsable, QStringLiteral("the reply \"%1\" to %2 holds no reading: %3")
                                                               .arg(shown(answer.reply), query, parsed.reason));
            return out;
        case ParsedReply::Outcome::NoMeasurement:
            if (last) {
                out.fault = fault(UutFault::Kind::NoMeasurement,
                                  QStringLiteral("the unit has no %1 measurement on channel %2 (it answered \"%3\" twice)")
                                      .arg(MeasureKindName(kind))
                                      .arg(channel)
                                      .arg(shown(answer.reply)));
                return out;
            }
            fault(UutFault::Kind::NoMeasurement, QStringLiteral("no measurement; asking again"));
            if (sleep_)
                sleep_(driver_.settleMs);
            continue;
        }
    }
}

} // namespace tarn
