#pragma once
// The platform services of the running program, on Qt.

#include "platform/platform.h"

#include <QPointer>

class QWidget;

namespace tarn {

class MainWindowView;

// Modal message boxes over the main window.
class QtMessageBoxes : public MessageBoxes {
public:
    // The window the boxes belong to; before it exists they have no parent.
    void setView(MainWindowView* view);
    MessageResult show(const MessageRequest& request) override;

private:
    QPointer<MainWindowView> view_;
};

// Fixed pauses: the thread sleeps, no events are processed.
class QtPauses : public Pauses {
public:
    void sleep(int milliseconds) override;
};

// The application-wide wait pointer and the processing of pending events.
// The pointer is not counted: any number of wait requests are undone by one
// request for the normal pointer.
class QtBusyIndication : public BusyIndication {
public:
    ~QtBusyIndication() override;
    void setView(MainWindowView* view);
    void setWaitPointer(bool wait) override;
    // Mirrors the control model into the window, then processes pending events.
    void processEvents() override;
    bool waitPointerShown() const { return waiting_; }

private:
    QPointer<MainWindowView> view_;
    bool waiting_ = false;
};

// Whether the left mouse button is held on a button of the main window: the
// button is down (pressed with the left button and the pointer on it), and
// still visible and enabled.
class QtPointerState : public PointerState {
public:
    void setView(MainWindowView* view);
    bool leftButtonHeldOn(const QString& name, int index) const override;

private:
    QPointer<MainWindowView> view_;
};

// Documents opened in the desktop's own viewer.
class QtDocumentViewer : public DocumentViewer {
public:
    bool open(const QString& path) override;
};

// The operator's number format, from the system locale.
class QtNumberFormats : public NumberFormats {
public:
    NumberFormat current() const override;
};

} // namespace tarn
