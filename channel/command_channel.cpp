#include "channel/command_channel.h"

#include "channel/link.h"

Q_LOGGING_CATEGORY(lcChannel, "tarn.channel", QtWarningMsg)

namespace tarn {

namespace {
constexpr int kPiecePauseMs = 50;
}

CommandChannel::CommandChannel(const Services& services, CommandLog& log, CalibratorLink& link,
                               ChannelWindow& window)
    : services_(services), log_(log), link_(link), window_(window)
{
}

void CommandChannel::Send(const QString& command)
{
    BeginBusy();
    QString remainder = command;
    QString piece;
    do {
        NextCommandPiece(piece, remainder);
        // Every piece is logged and paced; a transport also writes it.
        qCDebug(lcChannel).noquote() << piece;
        log_.add(LogEntry::Piece, piece);
        link_.Write(piece);
        services_.pauses->sleep(kPiecePauseMs);
    } while (!remainder.isEmpty());
    CompleteCommand(true);
    EndBusy();
    link_.ReportFault();
}

void CommandChannel::SendAtExit(const QString& piece)
{
    qCDebug(lcChannel).noquote() << piece;
    link_.Write(piece);
}

void CommandChannel::NextCommandPiece(QString& piece, QString& remainder)
{
    if (remainder.isEmpty()) {
        piece.clear();
        return;
    }
    const qsizetype slash = remainder.indexOf(QLatin1Char('/'));
    if (slash < 0) {
        piece = remainder;
        remainder.clear();
        return;
    }
    piece = remainder.left(slash);
    remainder = remainder.mid(slash + 1);
}

void CommandChannel::CompleteCommand(bool /*flag*/)
{
}

void CommandChannel::BeginBusy()
{
    window_.setInputEnabled(false);
    services_.busy->setWaitPointer(true);
    services_.busy->processEvents();
}

void CommandChannel::EndBusy()
{
    // Not counted: every EndBusy gives the window back, however many
    // BeginBusy calls came before it.
    window_.setInputEnabled(true);
    services_.busy->setWaitPointer(false);
    services_.busy->processEvents();
}

} // namespace tarn
