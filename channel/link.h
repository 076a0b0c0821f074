#pragma once
// The line to the calibrator: the transport the settings file chooses, its
// opening and identification, the writing of pieces, and the reports of a
// device that is missing, silent or failing.

#include "channel/command_log.h"
#include "channel/transport.h"
#include "platform/platform.h"

#include <QString>

#include <optional>

namespace tarn {

class ChannelWindow;

class CalibratorLink {
public:
    CalibratorLink(const Services& services, CommandLog& log, ChannelWindow& window);
    CalibratorLink(const CalibratorLink&) = delete;
    CalibratorLink& operator=(const CalibratorLink&) = delete;

    // Section "Tarn", key "Transport": "Serial" takes the serial transport,
    // "Demo" (the default) or anything else none.
    void SelectTransport(const QString& settingsFile);
    // The transport in use; none in the demonstration edition.
    Transport* transport() const { return transport_; }

    // Opens the device (key "Device", else the serial port's) and
    // identifies the calibrator; the milliseconds it took.
    qint64 Open(const QString& settingsFile, int serialPort);
    // Writes one piece; while the device-error indicator shows, nothing is
    // written.
    void Write(const QString& piece);
    // Shows the first fault found since the last report, once; while the
    // program closes, the fault stays in the log only.
    void ReportFault();
    // The program closes: no more reports, and the line is let go.
    void setClosing() { closing_ = true; }
    void Close();

    // The calibrator as records name it: the device and the identification
    // reply, or "demonstration edition".
    QString calibratorIdentity() const;

private:
    void Failed(const LinkStatus& status);

    const Services& services_;
    CommandLog& log_;
    ChannelWindow& window_;
    Transport* transport_ = nullptr;
    QString openedDevice_;
    std::optional<MessageRequest> pendingReport_;
    bool closing_ = false;
};

} // namespace tarn
