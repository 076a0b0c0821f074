#pragma once
// Stand-ins for the platform services, for headless core tests. They write
// what happens into one shared journal so that tests can check the order of
// pauses, busy periods, messages and command pieces.

#include "app/main_window.h"
#include "app/workstation.h"
#include "channel/command_channel.h"

#include <QLoggingCategory>

#include <chrono>
#include <deque>
#include <functional>
#include <ostream>
#include <map>
#include <thread>
#include <utility>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace tarn::testing {

class Journal {
public:
    void add(QString entry) { entries_.push_back(std::move(entry)); }
    const QStringList& entries() const { return entries_; }
    void clear() { entries_.clear(); }
    // Entries that start with the prefix, with the prefix removed.
    QStringList with(const QString& prefix) const
    {
        QStringList out;
        for (const QString& e : entries_)
            if (e.startsWith(prefix))
                out << e.mid(prefix.size());
        return out;
    }

private:
    QStringList entries_;
};

// Records each pause; a test can act once during the next one, as the
// operator can while a command piece is being paced. Pauses of at most
// sleepUpToMs really sleep, so that pacing can reach a real line.
class FakePauses final : public Pauses {
public:
    explicit FakePauses(Journal& j) : journal(j) {}
    void sleep(int ms) override
    {
        journal.add(QStringLiteral("sleep:%1").arg(ms));
        if (ms <= sleepUpToMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        if (auto hook = std::exchange(duringNextSleep, nullptr))
            hook();
    }
    std::function<void()> duringNextSleep;
    int sleepUpToMs = -1;
    Journal& journal;
};

class FakeBusy final : public BusyIndication {
public:
    FakeBusy(Journal& j, FormModel*& f) : journal(j), form(f) {}
    void setWaitPointer(bool w) override
    {
        wait = w;
        journal.add(w ? QStringLiteral("pointer:wait") : QStringLiteral("pointer:default"));
    }
    void processEvents() override
    {
        journal.add(QStringLiteral("events"));
        if (form)
            titlesSeen << form->window().caption;
    }
    bool wait = false;
    QStringList titlesSeen;
    Journal& journal;
    FormModel*& form;
};

class FakeMessages final : public MessageBoxes {
public:
    explicit FakeMessages(Journal& j) : journal(j) {}
    MessageResult show(const MessageRequest& r) override
    {
        shown.push_back(r);
        journal.add(QStringLiteral("message:") + r.title);
        if (answers.empty())
            return r.buttons == MessageButtons::YesNo ? MessageResult::No : MessageResult::Ok;
        const MessageResult a = answers.front();
        answers.pop_front();
        return a;
    }
    std::vector<MessageRequest> shown;
    std::deque<MessageResult> answers;
    Journal& journal;
};

// A settings file in memory, keyed by path; sections and keys found
// whatever their case, like the real store.
class MemoryProfile final : public ProfileStore {
public:
    QString readString(const QString& section, const QString& key, const QString& def, int size,
                       const QString& path) override
    {
        ++reads;
        lastPath = path;
        const auto it = values.find({path, section.toLower() + u'\n' + key.toLower()});
        const QString v = it == values.end() ? def : it->second;
        return v.left(size - 1);
    }
    bool writeString(const QString& section, const QString& key, const QString& value,
                     const QString& path) override
    {
        lastPath = path;
        if (failWrites)
            return false;
        values[{path, section.toLower() + u'\n' + key.toLower()}] = value;
        return true;
    }
    void set(const QString& path, const QString& value)
    {
        values[{path, QStringLiteral("tarn\nserial port")}] = value;
    }
    std::optional<QString> stored(const QString& path) const
    {
        const auto it = values.find({path, QStringLiteral("tarn\nserial port")});
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    std::map<std::pair<QString, QString>, QString> values;
    bool failWrites = false;
    int reads = 0;
    QString lastPath;
};

class FixedNumbers final : public NumberFormats {
public:
    NumberFormat current() const override { return format; }
    NumberFormat format = NumberFormat::invariant();
};

// The controls on which the left mouse button is held, as "name" or
// "name(index)"; tests press and release by hand.
class FakePointer final : public PointerState {
public:
    bool leftButtonHeldOn(const QString& name, int index) const override
    {
        return held.contains(FormModel::key(name, index));
    }
    QStringList held;
};

// Documents "opened", without a viewer.
class RecordedViewer final : public DocumentViewer {
public:
    bool open(const QString& path) override
    {
        opened << path;
        return true;
    }
    QStringList opened;
};

// Records which of the other windows were asked for.
class FakeWindows final : public Windows, public ProcedureOpener {
public:
    explicit FakeWindows(Journal& j) : journal(j) {}
    void openCommandLog() override { journal.add(QStringLiteral("window:command log")); }
    void openGuide() override { journal.add(QStringLiteral("window:guide")); }
    void openHistory(const QString& serial) override { journal.add(QStringLiteral("window:history") + serial); }
    void openProcedure(const QString& file) override { journal.add(QStringLiteral("window:procedure") + file); }
    Journal& journal;
};

// Collects the command pieces that the channel logs.
class PieceLog {
public:
    explicit PieceLog(Journal& j);
    ~PieceLog();
    PieceLog(const PieceLog&) = delete;
    PieceLog& operator=(const PieceLog&) = delete;
};

// A main window with fake services, the folder "/opt/tarn"; the serial
// transport, when given, is used when the settings file asks for it.
// A transport whose answers the test scripts; it writes what is asked of it
// into the journal.
class ScriptedTransport final : public Transport {
public:
    explicit ScriptedTransport(Journal& j) : journal(j) {}
    LinkStatus open(const QString& device) override
    {
        journal.add(QStringLiteral("open:") + device);
        return openResult;
    }
    LinkStatus write(const QString& piece) override
    {
        journal.add(QStringLiteral("write:") + piece);
        if (failWriteAt-- == 0)
            return {LinkFault::LineError, QStringLiteral("Serial port error: Input/output error")};
        return {};
    }
    void close() override { journal.add(QStringLiteral("close")); }
    QString lastReply() const override { return reply; }

    Journal& journal;
    QString reply;
    LinkStatus openResult;
    int failWriteAt = -1;  // the write (counted from 0) that fails
};

struct Harness {
    explicit Harness(Transport* serial = nullptr) : busy(journal, formPtr)
    {
        numbers.format = NumberFormat::invariant();
        Services s;
        s.messages = &messages;
        s.pauses = &pauses;
        s.busy = &busy;
        s.profile = &profile;
        s.numbers = &numbers;
        s.pointer = &pointer;
        s.serial = serial;
        s.windows = &windows;
        s.procedures = &windows;
        s.applicationFolder = QStringLiteral("/opt/tarn");
        window = std::make_unique<MainWindow>(s);
        formPtr = &window->form();
    }
    // Loads and initialises the window as the program does at start.
    void start()
    {
        window->Load();
        window->Activated();
    }
    QStringList pieces() const { return journal.with(QStringLiteral("piece:")); }
    QStringList sleeps() const { return journal.with(QStringLiteral("sleep:")); }
    Control& c(const QString& name, int index = kNoIndex) { return window->form()(name, index); }
    // The program's composition around the window: the records and the
    // front panel as procedures drive it, made on first use.
    Workstation& station()
    {
        if (!station_)
            station_ = std::make_unique<Workstation>(*window);
        return *station_;
    }

    Journal journal;
    FormModel* formPtr = nullptr;
    FakePauses pauses{journal};
    FakeBusy busy;
    FakeMessages messages{journal};
    MemoryProfile profile;
    FixedNumbers numbers;
    FakePointer pointer;
    FakeWindows windows{journal};
    PieceLog log{journal};
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Workstation> station_;
};

inline const QString kSettingsPath = QStringLiteral("/opt/tarn/TarnApp.ini");

} // namespace tarn::testing
