#pragma once
// The line to the calibrator. The demonstration edition has none: its
// command pieces are paced and logged only. A real transport is chosen at
// start-up by the settings file (section "Tarn", key "Transport").

#include <QString>

namespace tarn {

enum class LinkFault {
    None,
    OpenFailed,   // the port could not be opened (missing, busy, no permission)
    NoReply,      // no reply line to the identification within its time
    WrongReply,   // a reply, but not a printable line
    LineError,    // the line failed while in use
};

struct LinkStatus {
    LinkFault fault = LinkFault::None;
    // The platform's reason, or the line error's own text.
    QString reason;
    bool ok() const { return fault == LinkFault::None; }

    friend bool operator==(const LinkStatus&, const LinkStatus&) = default;
};

class Transport {
public:
    virtual ~Transport() = default;
    // Opens the device (closing the line first if it is open) and identifies
    // the calibrator: "FUNC?" and a reply line within a bounded time.
    virtual LinkStatus open(const QString& device) = 0;
    // Writes one command piece followed by a line feed and waits, bounded,
    // until it has left the program.
    virtual LinkStatus write(const QString& piece) = 0;
    virtual void close() = 0;
    // The line the device returned to the last identification, as it can
    // be shown; empty when it returned none.
    virtual QString lastReply() const { return {}; }
};

// The platform's n-th serial port: "/dev/ttyS<n-1>" here, "COM<n>" on Windows.
QString serialDeviceForPort(int portNumber);

// A reply line is the expected identification reply when it is not empty
// and holds printable characters only.
bool isExpectedReply(const QByteArray& line);

} // namespace tarn
