#include "uut/connection.h"
#include "uut/resource.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace tarn;

namespace {

using Kind = UutResource::Kind;

TEST(UutResource, FormsAsInstrumentUsersWriteThem)
{
    struct Case {
        const char* text;
        std::optional<Kind> kind;  // nothing: refused
        const char* host;
        int port;
        const char* device;
        const char* refusal;  // part of the message
    };
    const Case cases[] = {
        {"TCPIP::192.168.1.50::5025::SOCKET", Kind::Socket, "192.168.1.50", 5025, "", ""},
        {"tcpip0::scope.lab::5555::socket", Kind::Socket, "scope.lab", 5555, "", ""},
        {"TCPIP::192.168.1.50::INSTR", Kind::Vxi11, "192.168.1.50", 0, "inst0", ""},
        {"TCPIP::10.0.0.2::INST1::instr", Kind::Vxi11, "10.0.0.2", 0, "inst1", ""},
        {"/dev/usbtmc0", Kind::Usbtmc, "", 0, "/dev/usbtmc0", ""},
        {"USB::0x0957::0x1796::MY12345678::INSTR", Kind::UsbIds, "", 0, "", ""},
        {"GPIB0::7::INSTR", std::nullopt, "", 0, "", "GPIB"},
        {"TCPIP::192.168.1.50::hislip0::INSTR", std::nullopt, "", 0, "", "HiSLIP"},
        {"TCPIP::192.168.1.50::SOCKET", std::nullopt, "", 0, "", "port"},
        {"TCPIP::192.168.1.50::0::SOCKET", std::nullopt, "", 0, "", "port"},
        {"TCPIP::192.168.1.50::70000::SOCKET", std::nullopt, "", 0, "", "port"},
        {"TCPIP::::5025::SOCKET", std::nullopt, "", 0, "", "host"},
        {"USB::0x10000::0x1796::X::INSTR", std::nullopt, "", 0, "", "16-bit"},
        {"/dev/ttyUSB0", std::nullopt, "", 0, "", "knows"},
        {"ASRL1::INSTR", std::nullopt, "", 0, "", "knows"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QString problem;
        const auto r = ParseUutResource(QString::fromLatin1(c.text), &problem);
        ASSERT_EQ(r.has_value(), c.kind.has_value()) << problem.toStdString();
        if (!r) {
            EXPECT_TRUE(problem.contains(QLatin1String(c.refusal))) << problem.toStdString();
            // Every refusal says what would have been accepted.
            EXPECT_TRUE(problem.contains(SupportedUutResources())) << problem.toStdString();
            continue;
        }
        EXPECT_EQ(r->kind, *c.kind);
        EXPECT_EQ(r->host, QLatin1String(c.host));
        EXPECT_EQ(r->port, c.port);
        EXPECT_EQ(r->device, QLatin1String(c.device));
    }
    const auto usb = ParseUutResource(QStringLiteral("USB::0x0957::0x1796::MY12345678::INSTR"), nullptr);
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->vendor, 0x0957);
    EXPECT_EQ(usb->product, 0x1796);
    EXPECT_EQ(usb->serial, "MY12345678");
}

// The USB form is found through sysfs: a fake tree as the kernel lays it out.
TEST(UutResource, UsbIdsFoundUnderSysfs)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    QDir dir(root.path());
    ASSERT_TRUE(dir.mkpath(QStringLiteral("devices/usb1/1-2/1-2:1.0")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("class/usbmisc/usbtmc3")));
    auto write = [&](const QString& path, const QByteArray& text) {
        QFile f(dir.filePath(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write(QStringLiteral("devices/usb1/1-2/idVendor"), "0957\n");
    write(QStringLiteral("devices/usb1/1-2/idProduct"), "1796\n");
    write(QStringLiteral("devices/usb1/1-2/serial"), "MY12345678\n");
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("devices/usb1/1-2/1-2:1.0")),
                            dir.filePath(QStringLiteral("class/usbmisc/usbtmc3/device"))));

    QString problem;
    EXPECT_EQ(FindUsbtmcDevice(0x0957, 0x1796, QStringLiteral("MY12345678"), root.path(), &problem),
              QStringLiteral("/dev/usbtmc3"));
    EXPECT_FALSE(FindUsbtmcDevice(0x0957, 0x1796, QStringLiteral("OTHER"), root.path(), &problem));
    EXPECT_TRUE(problem.contains(QLatin1String("0x0957:0x1796"))) << problem.toStdString();
}

// No such hardware here: a missing device or host gives a clear reason, fast.
TEST(UutResource, MissingDevicesAreClearErrors)
{
    QString problem;
    EXPECT_EQ(OpenUsbtmcConnection(QStringLiteral("/dev/usbtmc97"), &problem), nullptr);
    EXPECT_TRUE(problem.contains(QLatin1String("/dev/usbtmc97"))) << problem.toStdString();

    problem.clear();
    EXPECT_EQ(OpenVxi11Connection(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), 500, &problem), nullptr);
    EXPECT_TRUE(problem.contains(QLatin1String("VXI-11"))) << problem.toStdString();

    problem.clear();
    const auto socket = ParseUutResource(QStringLiteral("TCPIP::127.0.0.1::1::SOCKET"), nullptr);
    ASSERT_TRUE(socket);
    EXPECT_EQ(OpenUutConnection(*socket, 500, &problem), nullptr);
    EXPECT_TRUE(problem.contains(QLatin1String("127.0.0.1 port 1"))) << problem.toStdString();
}

} // namespace
