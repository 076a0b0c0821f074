#include "channel/serial_transport.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QScopedValueRollback>
#include <QThread>
#include <QTimer>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace tarn {

namespace {
const QByteArray kIdentify = QByteArrayLiteral("FUNC?");
// A reply longer than this without a line end is not a reply line.
constexpr qsizetype kLongestReply = 256;

// The reply as it can be shown: bytes outside printable ASCII as "<hh>".
QString printable(const QByteArray& bytes)
{
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u <= 0x7e)
            out += QLatin1Char(c);
        else
            out += QStringLiteral("<%1>").arg(u, 2, 16, QLatin1Char('0'));
    }
    return out;
}
} // namespace

SerialTransport::SerialTransport() : SerialTransport(Limits{}) {}

SerialTransport::SerialTransport(Limits limits)
    : limits_(limits), port_(std::make_unique<QSerialPort>())
{
    QObject::connect(port_.get(), &QSerialPort::errorOccurred, port_.get(),
                     [this](QSerialPort::SerialPortError error) {
                         if (!waiting_ && (error == QSerialPort::ReadError || error == QSerialPort::ResourceError))
                             lineLost();
                     });
    // The calibrator speaks only when asked. Whatever it sends between
    // exchanges is let go at once: held, a chattering device would fill
    // the program's memory without end.
    QObject::connect(port_.get(), &QSerialPort::readyRead, port_.get(), [this] {
        if (!waiting_)
            port_->skip(port_->bytesAvailable());
    });
}

void SerialTransport::lineLost()
{
    // A hung-up line keeps the port readable; left open, it would keep the
    // program busy. It is closed once the port's own notification is over.
    if (lost_)
        return;
    lost_ = portError(QStringLiteral("Serial port error: "));
    QTimer::singleShot(0, port_.get(), [this, opening = opening_] {
        if (opening == opening_)
            port_->close();
    });
}

SerialTransport::~SerialTransport()
{
    close();
}

bool SerialTransport::isOpen() const
{
    return port_->isOpen();
}

qint64 SerialTransport::heldInput() const
{
    return port_->bytesAvailable();
}

void SerialTransport::close()
{
    if (port_->isOpen())
        port_->close();
    port_->clearError();
}

LinkStatus SerialTransport::open(const QString& device)
{
    close();
    ++opening_;
    lost_.reset();
    const QScopedValueRollback waiting(waiting_, true);
    port_->setPortName(device);
    port_->setBaudRate(QSerialPort::Baud9600);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        const LinkStatus failed{LinkFault::OpenFailed, device + QStringLiteral(": ") + port_->errorString()};
        close();
        return failed;
    }
    const LinkStatus identified = identify();
    if (identified.fault == LinkFault::LineError)
        close();
    return identified;
}

LinkStatus SerialTransport::identify()
{
    // Whatever the device said before is no answer to this question.
    port_->clear(QSerialPort::AllDirections);
    port_->readAll();
    lastReply_.clear();
    if (const LinkStatus sent = send(kIdentify + '\n'); !sent.ok())
        return sent;

    const QDeadlineTimer deadline(limits_.replyMs);
    QByteArray received;
    bool gone = false;
    for (;;) {
        received += port_->readAll();
        const qsizetype cr = received.indexOf('\r');
        const qsizetype lf = received.indexOf('\n');
        const qsizetype end = cr < 0 ? lf : (lf < 0 ? cr : std::min(cr, lf));
        if (end >= 0) {
            const QByteArray line = received.left(end);
            lastReply_ = printable(line);
            if (isExpectedReply(line))
                return {};
            return {LinkFault::WrongReply, printable(line)};
        }
        if (gone || received.size() > kLongestReply || deadline.hasExpired())
            break;
        if (!port_->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            // A timeout is seen at the top; any other failure means that
            // nothing more will come.
            gone = port_->error() != QSerialPort::TimeoutError && port_->error() != QSerialPort::NoError;
        }
    }
    if (received.isEmpty())
        return {LinkFault::NoReply, QString()};
    lastReply_ = printable(received.left(kLongestReply));
    return {LinkFault::WrongReply, lastReply_};
}

LinkStatus SerialTransport::write(const QString& piece)
{
    if (lost_) {
        const LinkStatus lost = *lost_;
        lost_.reset();
        close();
        return lost;
    }
    if (!port_->isOpen())
        return {LinkFault::LineError, QStringLiteral("Serial port error: The device is not open")};
    const QScopedValueRollback waiting(waiting_, true);
    const LinkStatus sent = send(piece.toLatin1() + '\n');
    if (!sent.ok())
        close();
    return sent;
}

LinkStatus SerialTransport::send(const QByteArray& bytes)
{
    port_->clearError();
    if (port_->write(bytes) != bytes.size())
        return portError(QStringLiteral("Serial port error: "));

    // Hand the bytes to the system, then wait until they have left the
    // port; both bounded.
    const QDeadlineTimer deadline(limits_.drainMs);
    while (port_->bytesToWrite() > 0) {
        if (!port_->waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            if (port_->error() == QSerialPort::TimeoutError || deadline.hasExpired())
                return {LinkFault::LineError, QStringLiteral("Serial error: Transmit buffer full")};
            return portError(QStringLiteral("Serial port error: "));
        }
    }
#ifdef Q_OS_UNIX
    int queued = 0;
    while (::ioctl(static_cast<int>(port_->handle()), TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (deadline.hasExpired())
            return {LinkFault::LineError, QStringLiteral("Serial error: Transmit buffer full")};
        QThread::msleep(1);
    }
#endif
    return {};
}

LinkStatus SerialTransport::portError(const QString& prefix)
{
    // A line that has gone (a hang-up, a pulled adapter) shows as a failed
    // read while waiting for the write; the system's text is not reliable then.
    QString reason;
    switch (port_->error()) {
    case QSerialPort::ReadError: reason = QStringLiteral("Error reading comm device"); break;
    case QSerialPort::NotOpenError: reason = QStringLiteral("The device is not open"); break;
    case QSerialPort::NoError: break;
    default: reason = port_->errorString(); break;
    }
    if (reason.isEmpty())
        reason = QStringLiteral("Error Code %1: Unknown error code").arg(static_cast<int>(port_->error()));
    return {LinkFault::LineError, prefix + reason};
}

} // namespace tarn
