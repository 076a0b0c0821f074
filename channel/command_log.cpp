#include "channel/command_log.h"

#include <QSaveFile>

namespace tarn {

QString CommandLog::lineFor(LogEntry kind, const QString& text, const QDateTime& at)
{
    QString line = at.toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral("  ");
    switch (kind) {
    case LogEntry::Piece: break;
    case LogEntry::Reply: line += QStringLiteral("[reply] "); break;
    case LogEntry::Fault: line += QStringLiteral("[fault] "); break;
    case LogEntry::UutSent: line += QStringLiteral("[uut] > "); break;
    case LogEntry::UutReceived: line += QStringLiteral("[uut] < "); break;
    case LogEntry::UutFault: line += QStringLiteral("[uut] [fault] "); break;
    }
    return line + text;
}

void CommandLog::add(LogEntry kind, const QString& text, const QDateTime& at)
{
    lines_.push_back(lineFor(kind, text, at));
    ++added_;
    while (lines_.size() > kCapacity)
        lines_.pop_front();
    if (listener_)
        listener_();
}

void CommandLog::clear()
{
    lines_.clear();
    if (listener_)
        listener_();
}

QString CommandLog::text() const
{
    QString out;
    for (const QString& line : lines_)
        out += line + u'\n';
    return out;
}

bool CommandLog::save(const QString& path, QString* reason) const
{
    // Written aside and put in place at the end: a failed save leaves any
    // earlier file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text().toUtf8()) < 0 || !file.commit()) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    return true;
}

} // namespace tarn
