// Raw SCPI over TCP: each message ended by LF, each reply a line ended by LF.

#include "uut/connection.h"

#include <QElapsedTimer>
#include <QTcpSocket>

namespace tarn {

namespace {

class SocketConnection : public UutConnection {
public:
    explicit SocketConnection(std::unique_ptr<QTcpSocket> socket) : socket_(std::move(socket)) {}
    ~SocketConnection() override { close(); }

    UutExchange write(const QByteArray& line) override
    {
        if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState)
            return lost(QStringLiteral("the connection is closed"));
        discardLate();
        const QByteArray bytes = line + '\n';
        if (socket_->write(bytes) != bytes.size())
            return lost(socket_->errorString());
        while (socket_->bytesToWrite() > 0) {
            if (!socket_->waitForBytesWritten(2000))
                return lost(socket_->errorString());
        }
        return {};
    }

    UutExchange query(const QByteArray& line, int timeoutMs) override
    {
        UutExchange sent = write(line);
        if (sent.status != UutExchange::Status::Ok)
            return sent;
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const qsizetype end = buffer_.indexOf('\n');
            if (end >= 0) {
                UutExchange out;
                out.reply = buffer_.left(end);
                if (out.reply.endsWith('\r'))
                    out.reply.chop(1);
                buffer_.remove(0, end + 1);
                return out;
            }
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0)
                return {UutExchange::Status::Timeout, {}, QStringLiteral("no reply within %1 ms").arg(timeoutMs)};
            if (socket_->bytesAvailable() == 0 && !socket_->waitForReadyRead(static_cast<int>(left))) {
                if (socket_->state() != QAbstractSocket::ConnectedState)
                    return lost(QStringLiteral("the unit closed the connection"));
                continue;  // the time is checked above
            }
            buffer_ += socket_->readAll();
        }
    }

    void close() override
    {
        if (socket_) {
            socket_->abort();
            socket_.reset();
        }
    }

private:
    UutExchange lost(const QString& reason)
    {
        close();
        return {UutExchange::Status::Lost, {}, reason};
    }

    // A late answer to a query that timed out, or anything the unit sent
    // unasked, is not the answer to what comes next.
    void discardLate()
    {
        socket_->waitForReadyRead(0);
        socket_->readAll();
        buffer_.clear();
    }

    std::unique_ptr<QTcpSocket> socket_;
    QByteArray buffer_;
};

} // namespace

std::unique_ptr<UutConnection> OpenSocketConnection(const QString& host, quint16 port, int timeoutMs,
                                                    QString* problem)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(host, port);
    if (!socket->waitForConnected(timeoutMs)) {
        if (problem)
            *problem = QStringLiteral("cannot connect to %1 port %2: %3").arg(host).arg(port).arg(socket->errorString());
        return nullptr;
    }
    return std::make_unique<SocketConnection>(std::move(socket));
}

} // namespace tarn
