#include "channel/command_channel.h"

#include "app/main_window.h"

Q_LOGGING_CATEGORY(lcChannel, "tarn.channel", QtWarningMsg)

namespace tarn {

namespace {
constexpr int kPiecePauseMs = 50;
}

void MainWindow::SendCommand(const QString& command)
{
    // Commands built while the window loads never leave the program, and
    // none follows the last "OFF" of a closed window.
    if (state_.SuppressSend || closed_)
        return;
    BeginBusy();
    QString remainder = command;
    QString piece;
    do {
        NextCommandPiece(piece, remainder);
        // Every piece is logged and paced; a transport also writes it.
        qCDebug(lcChannel).noquote() << piece;
        commandLog_.add(LogEntry::Piece, piece);
        WritePiece(piece);
        services_.pauses->sleep(kPiecePauseMs);
    } while (!remainder.isEmpty());
    CompleteCommand(true);
    EndBusy();
    ReportLinkFault();
}

void MainWindow::NextCommandPiece(QString& piece, QString& remainder)
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

void MainWindow::CompleteCommand(bool /*flag*/)
{
    // The point after the last piece where a transport finishes the exchange.
}

void MainWindow::BeginBusy()
{
    form_.window().enabled = false;
    services_.busy->setWaitPointer(true);
    services_.busy->processEvents();
}

void MainWindow::EndBusy()
{
    // Not counted: every EndBusy gives the window back, however many
    // BeginBusy calls came before it.
    form_.window().enabled = true;
    services_.busy->setWaitPointer(false);
    services_.busy->processEvents();
}

} // namespace tarn
