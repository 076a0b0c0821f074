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

QStringList History::columns()
{
    return {QStringLiteral("Date"), QStringLiteral("Procedure"), QStringLiteral("Operator"),
            QStringLiteral("Result"), QStringLiteral("Certificate"), QStringLiteral("Approved by")};
}

QStringList History::rowTexts(const RunSummary& run)
{
    QString result = run.overall ? overallText(*run.overall) : QStringLiteral("INCOMPLETE (not ended)");
    if (!run.asFoundRunId.isEmpty())
        result += QStringLiteral(", as left");
    QStringList certificate;
    if (!run.certificateNumber.isEmpty())
        certificate << run.certificateNumber;
    else if (!run.issuedWith.isEmpty())
        certificate << QStringLiteral("in %1").arg(run.issuedWith);
    else if (run.end.isValid() && run.replacedBy.isEmpty())
        certificate << QStringLiteral("not issued");
    if (!run.replacesCertificate.isEmpty())
        certificate << QStringLiteral("amended, replaces %1").arg(run.replacesCertificate);
    if (!run.replacedBy.isEmpty())
        certificate << (run.replacedByCertificate.isEmpty()
                            ? QStringLiteral("replaced (amendment not issued)")
                            : QStringLiteral("replaced by %1").arg(run.replacedByCertificate));
    return {run.start.toOffsetFromUtc(run.start.offsetFromUtc()).toString(QStringLiteral("yyyy-MM-dd HH:mm")),
            run.procedureTitle, run.operatorName, result, certificate.join(QStringLiteral(", ")),
            run.approvedBy};
}

bool History::open(int row)
{
    current_.reset();
    attempts_.clear();
    row_ = -1;
    if (row < 0 || row >= runs_.size())
        return false;
    QString note;
    QString error;
    RecordsDatabase* db = records_.reading(&note, &error);
    if (db)
        current_ = db->loadRun(runs_[row].runId, &error);
    if (current_)
        attempts_ = db->attemptsOf(current_->info.runId, &error);
    if (!current_ || !error.isEmpty()) {
        current_.reset();
        attempts_.clear();
        tell(QStringLiteral("History"), QStringLiteral("The run cannot be read: %1").arg(error),
             MessageIcon::Exclamation);
        return false;
    }
    row_ = row;
    return true;
}

const RunSummary* History::currentSummary() const
{
    return current_ && row_ >= 0 && row_ < runs_.size() ? &runs_[row_] : nullptr;
}

bool History::canCorrect() const
{
    const RunSummary* s = currentSummary();
    return s && s->end.isValid() && s->replacedBy.isEmpty();
}

bool History::canApprove() const
{
    return canCorrect() && current_->info.certificateNumber.isEmpty() && currentSummary()->issuedWith.isEmpty();
}

void History::reopen(const QString& runId)
{
    find(serial_);
    const auto at = std::find_if(runs_.begin(), runs_.end(), [&](const RunSummary& r) { return r.runId == runId; });
    open(at == runs_.end() ? -1 : int(at - runs_.begin()));
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

QString History::certificate()
{
    if (!current_)
        return {};
    const QString runId = current_->info.runId;
    const QString path = showCertificate(records_, runId, services_);
    if (!path.isEmpty())
        reopen(runId);
    return path;
}

bool History::correct(int point, const QString& value, const QString& reason, const QString& person,
                      const QDateTime& now)
{
    const QString title = QStringLiteral("Correct point");
    if (!canCorrect()) {
        tell(title, QStringLiteral("Only a point of a finished run that has not been replaced can be corrected."),
             MessageIcon::Exclamation);
        return false;
    }
    const auto last = std::find_if(current_->points.begin(), current_->points.end(),
                                   [point](const PointResult& p) { return p.point == point; });
    if (last == current_->points.end()) {
        tell(title, QStringLiteral("Point %1 was not taken in this run.").arg(point), MessageIcon::Exclamation);
        return false;
    }
    if (reason.trimmed().isEmpty() || person.trimmed().isEmpty()) {
        tell(title, QStringLiteral("A correction needs its reason and the name of the person who makes it."),
             MessageIcon::Exclamation);
        return false;
    }
    QString error;
    const NumberFormat format = services_.numbers ? services_.numbers->current() : NumberFormat::invariant();
    auto corrected = correctedPoint(current_->info, *last, value, format, &error);
    if (!corrected) {
        tell(title, error, MessageIcon::Exclamation);
        return false;
    }
    corrected->takenAt = now;
    corrected->takenBy = person.trimmed();
    corrected->correctedBy = person.trimmed();
    corrected->correctionReason = reason.trimmed();
    const auto holder = records_.correctPoint(current_->info.runId, *corrected, &error);
    if (!holder) {
        tell(title, QStringLiteral("The correction cannot be stored: %1").arg(error), MessageIcon::Exclamation);
        return false;
    }
    // The results file follows the record as it now stands.
    RecordsDatabase* db = records_.home(*holder, &error);
    const auto stored = db ? db->loadRun(*holder, &error) : std::nullopt;
    if (!stored || !records_.writeResultsFile(*stored, &error))
        tell(title, QStringLiteral("The correction is stored, but the results file was not written: %1").arg(error),
             MessageIcon::Exclamation);
    const bool amended = *holder != current_->info.runId;
    reopen(*holder);
    if (amended) {
        // The certificate is named by the amended run it is issued for: this
        // one, or the as-left run after it.
        QString replaced;
        for (const RunSummary& r : runs_)
            if ((r.runId == *holder || r.asFoundRunId == *holder) && !r.replacesCertificate.isEmpty())
                replaced = r.replacesCertificate;
        tell(title,
             QStringLiteral("Its certificate had been issued: the correction is kept in an amended "
                            "record, which replaces certificate %1 once it is approved and issued.")
                 .arg(replaced),
             MessageIcon::Information);
    }
    return true;
}

QString History::approve(const QString& approver, const QDateTime& now)
{
    const QString title = QStringLiteral("Approve and issue");
    if (!canApprove()) {
        tell(title, QStringLiteral("Only a finished run whose certificate has not been issued can be approved."),
             MessageIcon::Exclamation);
        return {};
    }
    const QString name = approver.trimmed();
    if (name.isEmpty()) {
        tell(title, QStringLiteral("The name of the person who approves the certificate is required."),
             MessageIcon::Exclamation);
        return {};
    }
    if (name.compare(current_->info.operatorName.trimmed(), Qt::CaseInsensitive) == 0
        && services_.messages
        && services_.messages->show({title,
                                     QStringLiteral("%1 also took the readings of this run. Many "
                                                    "laboratories require the results to be reviewed "
                                                    "by a second person.\r\rApprove and issue the "
                                                    "certificate all the same?")
                                         .arg(name),
                                     MessageIcon::Question, MessageButtons::YesNo})
               != MessageResult::Yes)
        return {};
    const QString runId = current_->info.runId;
    const QString path = approveAndIssueCertificate(records_, runId, name, now, services_);
    if (!path.isEmpty())
        reopen(runId);
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
