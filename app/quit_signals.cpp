#include "app/quit_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <array>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler may only write to a descriptor; the event loop reads the other end.
std::array<int, 2> wake_pair{-1, -1};

extern "C" void on_termination_signal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_pair[0], &byte, 1);
}

} // namespace

void quit_on_termination_signals() {
    if (wake_pair[0] != -1 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wake_pair.data()) != 0)
        return;
    auto* notifier = new QSocketNotifier(wake_pair[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[16];
        while (::read(wake_pair[1], bytes, sizeof bytes) > 0) {
        }
        // Not quit(): that asks the window to close, which it refuses while the controller is attached.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = on_termination_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM})
        ::sigaction(signal, &action, nullptr);
}
