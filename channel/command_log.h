#pragma once
// The command log: every piece the channel paces, as its log writes it,
// and what the line returns and its faults, each marked, time-stamped to
// the millisecond. It keeps the last `kCapacity` lines.

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>

namespace tarn {

// The calibrator's pieces, replies and faults, and the same three for the
// unit under test's remote interface.
enum class LogEntry { Piece, Reply, Fault, UutSent, UutReceived, UutFault };

class CommandLog {
public:
    static constexpr std::size_t kCapacity = 10000;

    // "12:03:04.005  A 2.0", "... [reply] TARN V1", "... [fault] no reply";
    // the unit's: "... [uut] > *IDN?", "... [uut] < 1.04E+00",
    // "... [uut] [fault] no reply within 2000 ms".
    static QString lineFor(LogEntry kind, const QString& text, const QDateTime& at);

    void add(LogEntry kind, const QString& text, const QDateTime& at = QDateTime::currentDateTime());
    void clear();

    const std::deque<QString>& lines() const { return lines_; }
    // Lines added since the log was made, including those no longer kept;
    // a reader that remembers it knows how many lines are new.
    std::uint64_t added() const { return added_; }
    // The lines, each ended by a line feed.
    QString text() const;
    // Writes the text as UTF-8; false with the reason when it cannot.
    bool save(const QString& path, QString* reason) const;

    // Called after each change (a line added, the log cleared).
    void setListener(std::function<void()> listener) { listener_ = std::move(listener); }

private:
    std::deque<QString> lines_;
    std::uint64_t added_ = 0;
    std::function<void()> listener_;
};

} // namespace tarn
