#include "app/exit_guard.h"

#include "app/main_window.h"
#include "channel/command_channel.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdlib>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tarn {

namespace {

MainWindow* guarded = nullptr;

void switchOffAtExit()
{
    if (guarded)
        guarded->SwitchOffAtExit();
}

#ifdef Q_OS_UNIX
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}
#endif

} // namespace

ExitGuard::ExitGuard(MainWindow& core)
{
    guarded = &core;
    // The channel's log is made before the handler is registered, so that
    // it is still there when the handler runs.
    (void)lcChannel();
    static const bool registered = std::atexit(switchOffAtExit) == 0;
    (void)registered;

#ifdef Q_OS_UNIX
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    notifier_ = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[1], &byte, 1);
        // Quitting runs the same switch-off as closing the window.
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(number, &action, nullptr);
#endif
}

ExitGuard::~ExitGuard()
{
    // The window goes after the guard; nothing is left to switch off then.
    guarded = nullptr;
#ifdef Q_OS_UNIX
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(number, &action, nullptr);
#endif
}

} // namespace tarn
