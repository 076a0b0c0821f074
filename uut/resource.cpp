#include "uut/resource.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace tarn {

namespace {

std::optional<quint16> hexId(const QString& text)
{
    bool ok = false;
    const uint value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toUInt(&ok, 16)
                                                                                  : text.toUInt(&ok, 10);
    if (!ok || value > 0xffff)
        return std::nullopt;
    return static_cast<quint16>(value);
}

QString firstLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readLine()).trimmed();
}

} // namespace

QString SupportedUutResources()
{
    return QStringLiteral("TCPIP::host::port::SOCKET, TCPIP::host[::inst0]::INSTR, /dev/usbtmcN or "
                          "USB::0xVVVV::0xPPPP::serial::INSTR");
}

std::optional<UutResource> ParseUutResource(const QString& raw, QString* problem)
{
    const QString text = raw.trimmed();
    auto refuse = [&](const QString& why) -> std::optional<UutResource> {
        if (problem)
            *problem = QStringLiteral("resource \"%1\" %2; supported are %3").arg(raw, why, SupportedUutResources());
        return std::nullopt;
    };
    UutResource out;
    out.text = text;

    static const QRegularExpression usbtmc(QStringLiteral("^/dev/usbtmc(\\d+)$"));
    if (usbtmc.match(text).hasMatch()) {
        out.kind = UutResource::Kind::Usbtmc;
        out.device = text;
        return out;
    }

    const QStringList parts = text.split(QStringLiteral("::"));
    const QString head = parts.first().toUpper();
    const QString tail = parts.size() > 1 ? parts.last().toUpper() : QString();
    if (head.startsWith(QLatin1String("GPIB")))
        return refuse(QStringLiteral("is a GPIB address, which TarnPilot cannot reach"));
    if (head == QLatin1String("TCPIP") || head == QLatin1String("TCPIP0")) {
        if (parts.size() < 3 || parts.at(1).isEmpty())
            return refuse(QStringLiteral("has no host"));
        out.host = parts.at(1);
        if (tail == QLatin1String("SOCKET")) {
            bool ok = false;
            const uint port = parts.size() == 4 ? parts.at(2).toUInt(&ok) : 0;
            if (!ok || port == 0 || port > 65535)
                return refuse(QStringLiteral("has no port from 1 to 65535"));
            out.kind = UutResource::Kind::Socket;
            out.port = static_cast<quint16>(port);
            return out;
        }
        if (tail == QLatin1String("INSTR")) {
            if (parts.size() == 3) {
                out.device = QStringLiteral("inst0");
            } else if (parts.size() == 4) {
                const QString device = parts.at(2);
                if (device.startsWith(QLatin1String("hislip"), Qt::CaseInsensitive))
                    return refuse(QStringLiteral("is a HiSLIP address, which TarnPilot does not speak"));
                static const QRegularExpression inst(QStringLiteral("^inst\\d+$"),
                                                     QRegularExpression::CaseInsensitiveOption);
                if (!inst.match(device).hasMatch())
                    return refuse(QStringLiteral("names the device \"%1\"; VXI-11 devices are inst0, inst1, ...")
                                      .arg(device));
                out.device = device.toLower();
            } else {
                return refuse(QStringLiteral("is not a resource TarnPilot knows"));
            }
            out.kind = UutResource::Kind::Vxi11;
            return out;
        }
        return refuse(QStringLiteral("ends neither in ::SOCKET nor in ::INSTR"));
    }
    if (head == QLatin1String("USB") || head == QLatin1String("USB0")) {
        if (parts.size() != 5 || tail != QLatin1String("INSTR"))
            return refuse(QStringLiteral("is not of the form USB::0xVVVV::0xPPPP::serial::INSTR"));
        const auto vendor = hexId(parts.at(1));
        const auto product = hexId(parts.at(2));
        if (!vendor || !product)
            return refuse(QStringLiteral("has a vendor or product id that is not a 16-bit number"));
        if (parts.at(3).isEmpty())
            return refuse(QStringLiteral("has no serial number"));
        out.kind = UutResource::Kind::UsbIds;
        out.vendor = *vendor;
        out.product = *product;
        out.serial = parts.at(3);
        return out;
    }
    return refuse(QStringLiteral("is not a resource TarnPilot knows"));
}

std::optional<QString> FindUsbtmcDevice(quint16 vendor, quint16 product, const QString& serial,
                                        const QString& sysfsRoot, QString* problem)
{
    // Each /sys/class/usbmisc/usbtmcN/device is the interface; its parent
    // is the USB device with idVendor, idProduct and serial.
    const QDir classDir(sysfsRoot + QStringLiteral("/class/usbmisc"));
    const QStringList entries = classDir.entryList({QStringLiteral("usbtmc*")}, QDir::Dirs | QDir::System);
    for (const QString& name : entries) {
        const QString usbDevice = classDir.filePath(name) + QStringLiteral("/device/..");
        const auto id = [&](const char* file) { return hexId(QStringLiteral("0x") + firstLine(usbDevice + u'/' + QLatin1String(file))); };
        if (id("idVendor") == vendor && id("idProduct") == product
            && firstLine(usbDevice + QStringLiteral("/serial")) == serial)
            return QStringLiteral("/dev/") + name;
    }
    if (problem)
        *problem = QStringLiteral("no USBTMC device 0x%1:0x%2 with serial %3 is connected")
                       .arg(vendor, 4, 16, QChar(u'0'))
                       .arg(product, 4, 16, QChar(u'0'))
                       .arg(serial);
    return std::nullopt;
}

} // namespace tarn
