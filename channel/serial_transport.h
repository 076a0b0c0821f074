#pragma once
// The serial line to the calibrator: 9600 baud, 8 data bits, no parity,
// one stop bit, no flow control. Every wait is bounded, so a silent or
// vanished device ends in a fault, never in a hang.

#include "channel/transport.h"

#include <memory>
#include <optional>

class QSerialPort;

namespace tarn {

class SerialTransport final : public Transport {
public:
    // The longest waits: for the identification reply, and for a piece to
    // leave the program.
    struct Limits {
        int replyMs = 1000;
        int drainMs = 1000;
    };

    SerialTransport();
    explicit SerialTransport(Limits limits);
    ~SerialTransport() override;
    SerialTransport(const SerialTransport&) = delete;
    SerialTransport& operator=(const SerialTransport&) = delete;

    LinkStatus open(const QString& device) override;
    LinkStatus write(const QString& piece) override;
    void close() override;
    QString lastReply() const override { return lastReply_; }
    bool isOpen() const;
    // Received bytes that the program holds, not yet read.
    qint64 heldInput() const;

private:
    LinkStatus identify();
    LinkStatus send(const QByteArray& bytes);
    LinkStatus portError(const QString& prefix);
    void lineLost();

    Limits limits_;
    std::unique_ptr<QSerialPort> port_;
    // Set while open or write waits on the port: they report its errors.
    bool waiting_ = false;
    // The line went while the program was idle; the next write reports it.
    std::optional<LinkStatus> lost_;
    // Counts the openings, so that a late clean-up leaves a newer one alone.
    int opening_ = 0;
    QString lastReply_;
};

} // namespace tarn
