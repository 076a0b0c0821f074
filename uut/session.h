#pragma once
// A session with the unit under test: connect, identify it, set it up,
// and take readings as its driver says. Every exchange goes to the command
// log marked as the unit's. The runner sees only `UutSession`, which its
// tests replace.

#include "uut/connection.h"
#include "uut/driver.h"
#include "uut/resource.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tarn {

class CommandLog;

// The *IDN? reply: "maker,model,serial,firmware".
struct UutIdentity {
    QString maker, model, serial, firmware;
    QString reply;  // as it came
};
UutIdentity ParseUutIdentity(const QString& reply);

struct UutFault {
    enum class Kind {
        None,
        CannotConnect,   // the connection could not be opened
        WrongUnit,       // *IDN? does not match the driver
        Timeout,         // no reply, twice
        NoMeasurement,   // "no measurement", twice
        ConnectionLost,  // the connection broke
        Unparsable,      // the reply holds no reading
        NotInDriver,     // the driver has no such measurement
    };
    Kind kind = Kind::None;
    QString message;
    explicit operator bool() const { return kind != Kind::None; }
};

struct UutReading {
    std::optional<double> value;  // only from a reply that parsed
    UutFault fault;
};

class UutSession {
public:
    virtual ~UutSession() = default;
    // Opens the connection, asks *IDN? and sends the driver's set-up.
    virtual UutFault connect() = 0;
    virtual bool connected() const = 0;
    virtual const UutIdentity& identity() const = 0;
    // Selects the measurement when it or the channel changed (then waits
    // the settling time), queries and parses. A timeout or "no measurement"
    // is tried once more; a session whose connection was lost connects
    // again first.
    virtual UutReading measure(MeasureKind kind, int channel) = 0;
    // The driver's settling time, for the runner to wait after a change.
    virtual int settleMs() const = 0;
    virtual void close() = 0;
};

class InstrumentSession : public UutSession {
public:
    // `sleep` waits the given milliseconds (the platform's pauses).
    InstrumentSession(UutDriver driver, UutResource resource, UutConnector& connector, CommandLog* log,
                      std::function<void(int)> sleep);
    ~InstrumentSession() override;

    UutFault connect() override;
    bool connected() const override { return connection_ != nullptr; }
    const UutIdentity& identity() const override { return identity_; }
    UutReading measure(MeasureKind kind, int channel) override;
    int settleMs() const override { return driver_.settleMs; }
    void close() override;

    const UutDriver& driver() const { return driver_; }

private:
    bool send(const QString& command, UutFault* fault);
    UutExchange ask(const QString& query);
    UutFault fault(UutFault::Kind kind, const QString& message);
    void lose(const QString& reason);

    UutDriver driver_;
    UutResource resource_;
    UutConnector& connector_;
    CommandLog* log_;
    std::function<void(int)> sleep_;
    std::unique_ptr<UutConnection> connection_;
    UutIdentity identity_;
    std::optional<std::pair<MeasureKind, int>> selected_;
};

} // namespace tarn
