// VXI-11 through liblxi.

#include "uut/connection.h"

#include <QTcpSocket>

#include <lxi.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace tarn {

namespace {

class Vxi11Connection : public UutConnection {
public:
    Vxi11Connection(int device, QString host) : device_(device), host_(std::move(host)) {}
    ~Vxi11Connection() override { close(); }

    UutExchange write(const QByteArray& line) override
    {
        if (device_ < 0)
            return {UutExchange::Status::Lost, {}, QStringLiteral("the connection is closed")};
        QByteArray bytes = line + '\n';
        if (lxi_send(device_, bytes.data(), static_cast<int>(bytes.size()), kSendTimeoutMs) < 0) {
            close();
            return {UutExchange::Status::Lost, {}, QStringLiteral("the link to %1 failed").arg(host_)};
        }
        return {};
    }

    UutExchange query(const QByteArray& line, int timeoutMs) override
    {
        UutExchange sent = write(line);
        if (sent.status != UutExchange::Status::Ok)
            return sent;
        // VXI-11 ends a read at the device's END: one reply per read.
        QByteArray buffer(64 * 1024, '\0');
        const int n = lxi_receive(device_, buffer.data(), static_cast<int>(buffer.size()), timeoutMs);
        if (n < 0) {
            // liblxi does not tell a timeout from a broken link; the next
            // exchange finds a broken link when it writes.
            return {UutExchange::Status::Timeout, {}, QStringLiteral("no reply within %1 ms").arg(timeoutMs)};
        }
        return UutExchange::replyOf(buffer.left(n));
    }

    void close() override
    {
        if (device_ >= 0) {
            lxi_disconnect(device_);
            device_ = -1;
        }
    }

private:
    static constexpr int kSendTimeoutMs = 2000;
    int device_;
    QString host_;
};

} // namespace

std::unique_ptr<UutConnection> OpenVxi11Connection(const QString& host, const QString& device, int timeoutMs,
                                                   QString* problem)
{
    auto refuse = [&](const QString& why) -> std::unique_ptr<UutConnection> {
        if (problem)
            *problem = QStringLiteral("cannot reach the VXI-11 device %1 on %2: %3").arg(device, host, why);
        return nullptr;
    };
    // A VXI-11 host answers on its port mapper first. Asked here, a missing
    // host is a quick, clear error; Debian 12's liblxi can hang in its own
    // failed-connect path.
    {
        QTcpSocket mapper;
        mapper.connectToHost(host, 111);
        if (!mapper.waitForConnected(timeoutMs))
            return refuse(QStringLiteral("no port mapper answers (%1)").arg(mapper.errorString()));
        mapper.abort();
    }
    static std::once_flag initialised;
    std::call_once(initialised, [] { lxi_init(); });
    // The connect runs on a thread of its own so that a hang in the library
    // costs a bounded wait, not the program; a late result is closed again.
    struct Attempt {
        std::mutex mutex;
        bool abandoned = false;
        std::promise<int> result;
        QByteArray address, name;
    };
    auto attempt = std::make_shared<Attempt>();
    attempt->address = host.toUtf8();
    attempt->name = device.toUtf8();
    std::future<int> result = attempt->result.get_future();
    std::thread([attempt, timeoutMs] {
        const int id = lxi_connect(attempt->address.constData(), 0, attempt->name.constData(), timeoutMs, VXI11);
        const std::lock_guard<std::mutex> lock(attempt->mutex);
        if (attempt->abandoned && id != LXI_ERROR)
            lxi_disconnect(id);
        else
            attempt->result.set_value(id);
    }).detach();
    if (result.wait_for(std::chrono::milliseconds(timeoutMs + 2000)) != std::future_status::ready) {
        const std::lock_guard<std::mutex> lock(attempt->mutex);
        if (result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            attempt->abandoned = true;
            return refuse(QStringLiteral("the VXI-11 library did not return within %1 ms").arg(timeoutMs + 2000));
        }
    }
    const int id = result.get();
    if (id == LXI_ERROR)
        return refuse(QStringLiteral("it refused the link"));
    return std::make_unique<Vxi11Connection>(id, host);
}

} // namespace tarn
