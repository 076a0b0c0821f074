#pragma once
// The history window's core: the runs of one serial number, newest first,
// and a past run opened from the database with its points, its results
// file and its certificate; the copy of waiting points to the server.

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
    // The row texts: date, procedure, operator, result, certificate number.
    static QStringList rowTexts(const RunSummary& run);

    // Opens a run of the list: its record as stored.
    bool open(int row);
    const std::optional<RunRecord>& current() const { return current_; }
    QByteArray csv() const;
    // Writes the opened run's results file into the records folder again;
    // the path, or empty (with a message).
    QString writeCsv();
    // Issues or regenerates the opened run's certificate and opens it.
    QString certificate(const QDateTime& now);
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

    Records& records_;
    Services services_;
    QString serial_;
    QList<RunSummary> runs_;
    QString note_;
    std::optional<RunRecord> current_;
};

} // namespace tarn
