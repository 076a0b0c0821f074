#pragma once
// Platform services used by the core, each behind a small interface so that
// tests can replace them. The Qt Widgets view provides the real ones.

#include "platform/number_format.h"

#include <QString>

namespace tarn {

class Transport;

enum class MessageIcon { None, Exclamation, Question, Information, Critical };
enum class MessageButtons { Ok, YesNo };
enum class MessageResult { Ok, Yes, No };

// A modal message box. The text keeps the system's carriage returns
// ("\r"); the view shows each one as a line break.
struct MessageRequest {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;

    friend bool operator==(const MessageRequest&, const MessageRequest&) = default;
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MessageResult show(const MessageRequest& request) = 0;
};

// Fixed pauses: the thread sleeps and no window messages are processed.
class Pauses {
public:
    virtual ~Pauses() = default;
    virtual void sleep(int milliseconds) = 0;
};

// The busy indication: the application-wide hourglass pointer, and the
// processing of pending window messages (which also repaints the window
// from the control model).
class BusyIndication {
public:
    virtual ~BusyIndication() = default;
    virtual void setWaitPointer(bool wait) = 0;
    virtual void processEvents() = 0;
};

// Initialisation-style settings file access, with the semantics of the
// private-profile functions: section and key found whatever their case,
// file and section created on write, everything else in the file kept.
class ProfileStore {
public:
    virtual ~ProfileStore() = default;
    // The value, or defaultValue when the file, section or key is missing;
    // at most bufferSize - 1 characters of it.
    virtual QString readString(const QString& section, const QString& key,
                               const QString& defaultValue, int bufferSize,
                               const QString& filePath) = 0;
    // False when the file could not be written.
    virtual bool writeString(const QString& section, const QString& key,
                             const QString& value, const QString& filePath) = 0;
};

// The operator's number format.
class NumberFormats {
public:
    virtual ~NumberFormats() = default;
    virtual NumberFormat current() const = 0;
};

// Where the operator holds the mouse now. Notifications of a release can be
// lost (a button hidden or disabled while held, the window deactivated), so
// whatever repeats while a button is held asks here before each repetition.
class PointerState {
public:
    virtual ~PointerState() = default;
    // Whether the left mouse button is held down on that control now.
    virtual bool leftButtonHeldOn(const QString& name, int index) const = 0;
};

// Opens a finished document (a certificate) in the desktop's viewer.
class DocumentViewer {
public:
    virtual ~DocumentViewer() = default;
    // False when no viewer could be started.
    virtual bool open(const QString& path) = 0;
};

class CertificatePrinter;

// Opens a procedure in the runner's window; with no file given the
// operator chooses one.
class ProcedureOpener {
public:
    virtual ~ProcedureOpener() = default;
    virtual void openProcedure(const QString& file) = 0;
};

// The program's other windows, which the main window opens on request.
class Windows {
public:
    virtual ~Windows() = default;
    virtual void openCommandLog() = 0;
    virtual void openGuide() = 0;
    // The calibration history, at the runs of a serial number when given.
    virtual void openHistory(const QString& serial) = 0;
};

struct Services {
    MessageBoxes* messages = nullptr;
    Pauses* pauses = nullptr;
    BusyIndication* busy = nullptr;
    ProfileStore* profile = nullptr;
    NumberFormats* numbers = nullptr;
    // Optional: without it, a held button counts as held until its release
    // is reported (or it is hidden, or the window deactivated).
    PointerState* pointer = nullptr;
    // The serial line to the calibrator, used when the settings file asks
    // for it; without it the program is the demonstration edition.
    Transport* serial = nullptr;
    // Optional: the certificate's PDF writer and the viewer it is opened
    // in; without them no certificate can be written.
    CertificatePrinter* certificates = nullptr;
    DocumentViewer* documents = nullptr;
    // Optional: the runner of procedures; without it there is none.
    ProcedureOpener* procedures = nullptr;
    // Optional: the command log window and the operator's guide.
    Windows* windows = nullptr;
    // The application's folder as the platform reports it, without a
    // trailing separator unless it is a root.
    QString applicationFolder;
};

} // namespace tarn
