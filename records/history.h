#pragma once
// The history window's core: the runs of one serial number, newest first,
// and a past run opened from the database with its points, its results
// file and its certificate, the correction of a point with its reason, and
// the approval that issues the certificate; the copy of waiting points to
// the server.

#include "records/records.h"

namespace tarn {

class History {
public:
    History(Records& records, const Services& services);

    // Lists the runs of a serial number; false (with a message) when the
    // records cannot be read.
    bool find(const QString& serial);
    const QString& serial() const { return serial_; }
    const QList<RunSummary>& runs() const { return runs_; }
    // Why the list may be short (the server out of reach), or empty.
    const QString& note() const { return note_; }
    // The row texts: date, procedure, operator, result, certificate (with
    // what it replaces or was replaced by), approved by.
    static QStringList rowTexts(const RunSummary& run);
    static QStringList columns();

    // Opens a run of the list: its record as stored.
    bool open(int row);
    const std::optional<RunRecord>& current() const { return current_; }
    // Every attempt at the opened run's points, by point and attempt.
    const QList<PointResult>& attempts() const { return attempts_; }
    // The opened run's list entry, or null.
    const RunSummary* currentSummary() const;
    // Whether the opened run's points can be corrected: it has ended and
    // has not been replaced by an amended record.
    bool canCorrect() const;
    // Whether it waits for approval: ended, not replaced, not issued.
    bool canApprove() const;
    QByteArray csv() const;
    // Writes the opened run's results file into the records folder again;
    // the path, or empty (with a message).
    QString writeCsv();
    // The opened run's certificate as it stands (a draft until issued),
    // written and opened.
    QString certificate();
    // Corrects one point of the opened run (see Records::correctPoint): the
    // new value, the reason and the person are required. The run holding
    // the correction is opened. False (with a message) when refused.
    bool correct(int point, const QString& value, const QString& reason, const QString& person,
                 const QDateTime& now);
    // Approves and issues the opened run's certificate: the approver is
    // required; one who is also the operator is asked to confirm. The path
    // of the certificate written, or empty.
    QString approve(const QString& approver, const QDateTime& now);
    // Writes the opened run's Digital Calibration Certificate beside its
    // certificate, for a run that has its number; the path, or empty (with
    // a message).
    bool canWriteDcc() const { return current_ && !current_->info.certificateNumber.isEmpty(); }
    QString writeDcc();

    bool hasServer() const { return records_.hasServer(); }
    int pending() const { return records_.pendingCopies(); }
    // Copies the waiting points and says how it went. The count, or -1.
    int copyToServer();

private:
    void tell(const QString& title, const QString& text, MessageIcon icon);
    // Lists the runs again and opens the one with this id.
    void reopen(const QString& runId);

    Records& records_;
    Services services_;
    QString serial_;
    QList<RunSummary> runs_;
    QString note_;
    std::optional<RunRecord> current_;
    QList<PointResult> attempts_;
    int row_ = -1;
};

} // namespace tarn
