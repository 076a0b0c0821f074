#pragma once
// Sees to it that the calibrator's output is off however the program ends.
// Closing the window switches it off by itself; a termination signal
// (Ctrl+C in a terminal, the session ending, a kill) ends the program as a
// closed window does; and an exit from inside the toolkit (the display gone)
// still sends "OFF" on its way out.

#include <QObject>

class QSocketNotifier;

namespace tarn {

class MainWindow;

class ExitGuard : public QObject {
public:
    explicit ExitGuard(MainWindow& core);
    ~ExitGuard() override;
    ExitGuard(const ExitGuard&) = delete;
    ExitGuard& operator=(const ExitGuard&) = delete;

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace tarn
