// USBTMC through the Linux kernel's driver: one write per message, one read
// per reply, the read's timeout set by the driver's ioctl.

#include "uut/connection.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/usb/tmc.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tarn {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

class UsbtmcConnection : public UutConnection {
public:
    UsbtmcConnection(int fd, QString path) : fd_(fd), path_(std::move(path)) {}
    ~UsbtmcConnection() override { close(); }

    UutExchange write(const QByteArray& line) override
    {
        if (fd_ < 0)
            return {UutExchange::Status::Lost, {}, QStringLiteral("the connection is closed")};
        const QByteArray bytes = line + '\n';
        ssize_t n;
        do {
            n = ::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size()));
        } while (n < 0 && errno == EINTR);
        if (n != bytes.size())
            return lost(n < 0 ? errno : EIO);
        return {};
    }

    UutExchange query(const QByteArray& line, int timeoutMs) override
    {
        if (fd_ >= 0 && timeoutMs != timeoutMs_) {
            unsigned int ms = static_cast<unsigned int>(timeoutMs);
            if (::ioctl(fd_, USBTMC_IOCTL_SET_TIMEOUT, &ms) == 0)
                timeoutMs_ = timeoutMs;
        }
        UutExchange sent = write(line);
        if (sent.status != UutExchange::Status::Ok)
            return sent;
        QByteArray buffer(64 * 1024, '\0');
        ssize_t n;
        do {
            n = ::read(fd_, buffer.data(), static_cast<size_t>(buffer.size()));
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            if (errno == ETIMEDOUT)
                return {UutExchange::Status::Timeout, {}, QStringLiteral("no reply within %1 ms").arg(timeoutMs)};
            return lost(errno);
        }
        return UutExchange::replyOf(buffer.left(n));
    }

    void close() override
    {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    UutExchange lost(int error)
    {
        close();
        return {UutExchange::Status::Lost, {}, QStringLiteral("%1: %2").arg(path_, systemError(error))};
    }

    int fd_;
    QString path_;
    int timeoutMs_ = -1;
};

} // namespace

std::unique_ptr<UutConnection> OpenUsbtmcConnection(const QString& path, QString* problem)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (problem)
            *problem = QStringLiteral("cannot open %1: %2").arg(path, systemError(errno));
        return nullptr;
    }
    return std::make_unique<UsbtmcConnection>(fd, path);
}

std::unique_ptr<UutConnection> OpenUutConnection(const UutResource& resource, int timeoutMs, QString* problem)
{
    switch (resource.kind) {
    case UutResource::Kind::Socket:
        return OpenSocketConnection(resource.host, resource.port, timeoutMs, problem);
    case UutResource::Kind::Vxi11:
        return OpenVxi11Connection(resource.host, resource.device, timeoutMs, problem);
    case UutResource::Kind::Usbtmc:
        return OpenUsbtmcConnection(resource.device, problem);
    case UutResource::Kind::UsbIds:
        if (const auto path = FindUsbtmcDevice(resource.vendor, resource.product, resource.serial,
                                               QStringLiteral("/sys"), problem))
            return OpenUsbtmcConnection(*path, problem);
        return nullptr;
    }
    return nullptr;
}

} // namespace tarn
