#pragma once
// A connection to the unit under test: lines out, one reply line back
// within a bounded time. Three kinds sit behind it: raw SCPI over TCP,
// VXI-11 and the kernel's USBTMC driver.

#include "uut/resource.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace tarn {

struct UutExchange {
    enum class Status { Ok, Timeout, Lost };
    Status status = Status::Ok;
    QByteArray reply;  // without its line end
    QString reason;    // for Timeout and Lost

    // A reply read whole, its line end taken off.
    static UutExchange replyOf(QByteArray read)
    {
        while (read.endsWith('\n') || read.endsWith('\r'))
            read.chop(1);
        return {Status::Ok, read, {}};
    }
};

class UutConnection {
public:
    virtual ~UutConnection() = default;
    // Sends one program message; Lost when it cannot be sent.
    virtual UutExchange write(const QByteArray& line) = 0;
    // Sends a query and waits up to `timeoutMs` for its reply line. A reply
    // that comes after its query timed out is discarded before the next
    // query goes out, so that it is never taken for that query's answer.
    virtual UutExchange query(const QByteArray& line, int timeoutMs) = 0;
    virtual void close() = 0;
};

// Opens the resource within `timeoutMs`; nothing with the reason.
std::unique_ptr<UutConnection> OpenUutConnection(const UutResource& resource, int timeoutMs, QString* problem);

// Opens one by its resource string; the test seam of the session.
class UutConnector {
public:
    virtual ~UutConnector() = default;
    virtual std::unique_ptr<UutConnection> open(const UutResource& resource, int timeoutMs, QString* problem) = 0;
};

class SystemUutConnector : public UutConnector {
public:
    std::unique_ptr<UutConnection> open(const UutResource& resource, int timeoutMs, QString* problem) override
    {
        return OpenUutConnection(resource, timeoutMs, problem);
    }
};

// The implementations, for their tests.
std::unique_ptr<UutConnection> OpenSocketConnection(const QString& host, quint16 port, int timeoutMs,
                                                    QString* problem);
std::unique_ptr<UutConnection> OpenVxi11Connection(const QString& host, const QString& device, int timeoutMs,
                                                   QString* problem);
std::unique_ptr<UutConnection> OpenUsbtmcConnection(const QString& path, QString* problem);

} // namespace tarn
