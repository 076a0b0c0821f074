// The line to the calibrator: choosing the transport, opening and
// identifying, writing the pieces, and reporting a device that is missing,
// silent or failing.

#include "channel/link.h"

#include "channel/command_channel.h"

#include <QElapsedTimer>

namespace tarn {

namespace {
const QString kSection = QStringLiteral("Tarn");
constexpr int kValueBuffer = 64;
const QString kInstrument = QStringLiteral("Tarn Calibrator");

QString notFoundText()
{
    return QStringLiteral("The ") + kInstrument + QStringLiteral(" could not be found.") +
           QStringLiteral("\r\r") + QStringLiteral("Timeout awaiting valid reply") + QStringLiteral("\r\r") +
           QStringLiteral("Check the following:") + QStringLiteral("\r") +
           QStringLiteral("- The device is turned on.") + QStringLiteral("\r") +
           QStringLiteral("- The cable is connected properly.") + QStringLiteral("\r") +
           QStringLiteral("- The DIP switches are set correctly.");
}

QString wrongReplyText()
{
    return QStringLiteral("The ") + kInstrument + QStringLiteral(" did not give the expected reply.") +
           QStringLiteral("\r\r") +
           QStringLiteral("Please check the data connection and try resetting the unit.");
}

MessageRequest reportFor(const LinkStatus& status)
{
    switch (status.fault) {
    case LinkFault::NoReply:
        return {kInstrument, notFoundText(), MessageIcon::Exclamation, MessageButtons::Ok};
    case LinkFault::WrongReply:
        return {kInstrument, wrongReplyText(), MessageIcon::Exclamation, MessageButtons::Ok};
    case LinkFault::OpenFailed:
        return {QStringLiteral("Setup Error"),
                QStringLiteral("There is a problem with your serial port configuration.") +
                    QStringLiteral("\r\r") + QStringLiteral("Serial port error: ") + status.reason +
                    QStringLiteral("\r\r") +
                    QStringLiteral("Check that the correct port is selected and that this port is not in use."),
                MessageIcon::Exclamation, MessageButtons::Ok};
    case LinkFault::LineError:
    case LinkFault::None:
        break;
    }
    return {QStringLiteral("Serial Error"),
            status.reason + QStringLiteral("\r\r") +
                QStringLiteral("Please check the data connection and try resetting the unit."),
            MessageIcon::Exclamation, MessageButtons::Ok};
}
} // namespace

CalibratorLink::CalibratorLink(const Services& services, CommandLog& log, ChannelWindow& window)
    : services_(services), log_(log), window_(window)
{
}

void CalibratorLink::SelectTransport(const QString& settingsFile)
{
    transport_ = nullptr;
    const QString wanted = services_.profile
                               ->readString(kSection, QStringLiteral("Transport"), QStringLiteral("Demo"),
                                            kValueBuffer, settingsFile)
                               .trimmed();
    if (wanted.compare(QStringLiteral("Serial"), Qt::CaseInsensitive) == 0) {
        if (services_.serial)
            transport_ = services_.serial;
        else
            qCWarning(lcChannel) << "This build has no serial transport; the demonstration edition runs";
        return;
    }
    if (wanted.compare(QStringLiteral("Demo"), Qt::CaseInsensitive) != 0) {
        qCWarning(lcChannel).noquote() << "Unknown transport" << wanted << "in" << settingsFile
                                       << "(Demo or Serial); the demonstration edition runs";
    }
}

qint64 CalibratorLink::Open(const QString& settingsFile, int serialPort)
{
    if (!transport_)
        return 0;
    QElapsedTimer spent;
    spent.start();
    const QString device =
        services_.profile->readString(kSection, QStringLiteral("Device"), QString(), 1024, settingsFile).trimmed();
    openedDevice_ = device.isEmpty() ? serialDeviceForPort(serialPort) : device;
    const LinkStatus status = transport_->open(openedDevice_);
    if (const QString reply = transport_->lastReply(); !reply.isEmpty())
        log_.add(LogEntry::Reply, reply);
    if (status.ok())
        window_.showDeviceError(false);
    else
        Failed(status);
    return spent.elapsed();
}

QString CalibratorLink::calibratorIdentity() const
{
    if (!transport_)
        return QStringLiteral("demonstration edition");
    const QString reply = transport_->lastReply();
    return openedDevice_ + QStringLiteral(", ")
           + (reply.isEmpty() || window_.deviceErrorShown() ? QStringLiteral("not identified") : reply);
}

void CalibratorLink::Write(const QString& piece)
{
    // While the indicator shows, the pieces are paced but not written.
    if (!transport_ || window_.deviceErrorShown())
        return;
    const LinkStatus status = transport_->write(piece);
    if (!status.ok())
        Failed(status);
}

void CalibratorLink::Failed(const LinkStatus& status)
{
    static const char* const kFaults[] = {"none", "port not opened", "no reply", "unexpected reply",
                                          "line error"};
    const QString fault = QString::fromLatin1(kFaults[static_cast<int>(status.fault)]);
    qCWarning(lcChannel).noquote() << "Calibrator line fault:" << fault << status.reason;
    log_.add(LogEntry::Fault, status.reason.isEmpty() ? fault : fault + QStringLiteral(": ") + status.reason);
    window_.showDeviceError(true);
    // One report per fault: the first one found in a busy period.
    if (!pendingReport_)
        pendingReport_ = reportFor(status);
}

void CalibratorLink::ReportFault()
{
    if (!pendingReport_)
        return;
    const MessageRequest report = *pendingReport_;
    pendingReport_.reset();
    // Closing, the fault is in the log only: a report would hold up the exit.
    if (!closing_)
        services_.messages->show(report);
}

void CalibratorLink::Close()
{
    if (transport_)
        transport_->close();
}

} // namespace tarn
