#pragma once
// The command channel: the one path by which command texts leave the
// program. A text is taken apart at "/" into pieces; each piece is logged,
// written by the link's transport (when there is one) and paced, all under
// the busy indication.

#include "channel/command_log.h"
#include "platform/platform.h"

#include <QLoggingCategory>
#include <QString>

// Every command piece paced by the channel is logged here, exactly as the
// piece, as one debug message ("tarn.channel.debug=true" shows them).
Q_DECLARE_LOGGING_CATEGORY(lcChannel)

namespace tarn {

class CalibratorLink;

// What the window does for the channel in return.
class ChannelWindow {
public:
    virtual ~ChannelWindow() = default;
    // While a command is sent the window takes no input (false); then it
    // takes it again (true).
    virtual void setInputEnabled(bool enabled) = 0;
    // The device-error indicator: shown ("DEVICE ERROR!") or hidden.
    virtual void showDeviceError(bool shown) = 0;
    virtual bool deviceErrorShown() const = 0;
};

class CommandChannel {
public:
    CommandChannel(const Services& services, CommandLog& log, CalibratorLink& link, ChannelWindow& window);
    CommandChannel(const CommandChannel&) = delete;
    CommandChannel& operator=(const CommandChannel&) = delete;

    // Sends a command text: the busy indication, then every piece logged,
    // written and paced 50 ms, then the window given back and the first
    // line fault of the command reported.
    void Send(const QString& command);
    // Takes the first piece off the remainder.
    static void NextCommandPiece(QString& piece, QString& remainder);
    // The point after the last piece where a transport finishes the exchange.
    void CompleteCommand(bool flag);
    void BeginBusy();
    void EndBusy();
    // The program ends without its window: the piece is logged and written
    // at once, without the busy indication or a pause.
    void SendAtExit(const QString& piece);

private:
    const Services& services_;
    CommandLog& log_;
    CalibratorLink& link_;
    ChannelWindow& window_;
};

} // namespace tarn
