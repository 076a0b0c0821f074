#include "records/history.h"

#include "records/certificate.h"
#include "records/dcc.h"

namespace tarn {

History::History(Records& records, const Services& services)
    : records_(records), services_(services)
{
}

void History::tell(const QString& title, const QString& text, MessageIcon icon)
{
    if (services_.messages)
        services_.messages->show({title, text, icon, MessageButtons::Ok});
}

bool History::find(const QString& serial)
{
    serial_ = serial.trimmed();
    runs_.clear();
    current_.reset();
    note_.clear();
    QString error;
    RecordsDatabase* db = records_.reading(&note_, &error);
    if (db)
        runs_ = db->runsOf(serial_, &error);
    if (!db || !error.isEmpty()) {
        tell(QStringLiteral("History"), QStringLiteral("The records cannot be read: %1").arg(error),
             MessageIcon::Exclamation);
        return false;
    }
    return true;
}

QStringList History::rowTexts(const RunSummary& run)
{
    QString result = run.overall ? overallText(*run.overall) : QStringLiteral("INCOMPLETE (not ended)");
    if (!run.asFoundRunId.isEmpty())
        result += QStringLiteral(", as left");
    return {run.start.toOffsetFromUtc(run.start.offsetFromUtc()).toString(QStringLiteral("yyyy-MM-dd HH:mm")),
            run.procedureTitle, run.operatorName, result, run.certificateNumber};
}

bool History::open(int row)
{
    current_.reset();
    if (row < 0 || row >= runs_.size())
        return false;
    QString note;
    QString error;
    RecordsDatabase* db = records_.reading(&note, &error);
    if (db)
        current_ = db->loadRun(runs_[row].runId, &error);
    if (!current_) {
        tell(QStringLiteral("History"), QStringLiteral("The run cannot be read: %1").arg(error),
             MessageIcon::Exclamation);
        return false;
    }
    return true;
}

QByteArray History::csv() const
{
    return current_ ? ResultsCsv(*current_) : QByteArray();
}

QString History::writeCsv()
{
    if (!current_)
        return {};
    QString error;
    if (!records_.writeResultsFile(*current_, &error)) {
        tell(QStringLiteral("History"), error, MessageIcon::Exclamation);
        return {};
    }
    return records_.resultsFilePath(current_->info);
}

QString History::certificate(const QDateTime& now)
{
    if (!current_)
        return {};
    const QString runId = current_->info.runId;
    const QString path = issueCertificate(records_, runId, now, services_);
    // The list shows the number now given.
    if (!path.isEmpty()) {
        const auto at = std::find_if(runs_.begin(), runs_.end(),
                                     [&](const RunSummary& r) { return r.runId == runId; });
        const int row = at == runs_.end() ? -1 : int(at - runs_.begin());
        find(serial_);
        open(row);
    }
    return path;
}

QString History::writeDcc()
{
    if (!canWriteDcc())
        return {};
    QString error;
    const QString path = writeStoredRunDcc(records_, current_->info.runId, services_, &error);
    if (path.isEmpty())
        tell(QStringLiteral("Digital Calibration Certificate"), QString(error).replace(u'\n', u'\r'),
             MessageIcon::Exclamation);
    return path;
}

int History::copyToServer()
{
    if (!records_.hasServer()) {
        tell(QStringLiteral("History"), QStringLiteral("No records server is set."), MessageIcon::Information);
        return -1;
    }
    QString error;
    const int copied = records_.copyPending(&error);
    if (copied < 0) {
        tell(QStringLiteral("History"),
             QStringLiteral("The records server %1 cannot take the waiting records: %2\r\r"
                            "They stay in the local database; try again later.")
                 .arg(records_.settings().server, error),
             MessageIcon::Exclamation);
        return -1;
    }
    tell(QStringLiteral("History"),
         QStringLiteral("%1 waiting record(s) copied to the records server %2.")
             .arg(copied)
             .arg(records_.settings().server),
         MessageIcon::Information);
    return copied;
}

} // namespace tarn
