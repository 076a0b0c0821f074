#pragma once
// The unit under test's remote interface as instrument users write it:
//   TCPIP::host::port::SOCKET          raw SCPI over TCP, lines ended by LF
//   TCPIP::host[::inst0]::INSTR        VXI-11
//   /dev/usbtmcN                       the kernel's USBTMC driver
//   USB::0xVVVV::0xPPPP::serial::INSTR the same, found by vendor, product and serial
// The words are matched without regard to case.

#include <QString>

#include <optional>

namespace tarn {

struct UutResource {
    enum class Kind { Socket, Vxi11, Usbtmc, UsbIds };
    Kind kind = Kind::Socket;
    QString text;      // as written
    QString host;      // Socket, Vxi11
    quint16 port = 0;  // Socket
    QString device;    // Vxi11: the device name ("inst0"); Usbtmc: the path
    quint16 vendor = 0, product = 0;  // UsbIds
    QString serial;                   // UsbIds
};

// The resource, or nothing with the reason in `problem` (which names the
// forms that are supported).
std::optional<UutResource> ParseUutResource(const QString& text, QString* problem);

// The forms that are supported, for messages.
QString SupportedUutResources();

// The /dev/usbtmcN of the USBTMC device with these ids and serial, looked
// for under `sysfsRoot` (normally "/sys"); nothing with the reason.
std::optional<QString> FindUsbtmcDevice(quint16 vendor, quint16 product, const QString& serial,
                                        const QString& sysfsRoot, QString* problem);

} // namespace tarn
