#include "app/exit_on_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace DADOV {

namespace {

constexpr std::array<int, 3> handled_signals{SIGTERM, SIGINT, SIGHUP};

// Shared with the signal handler, which may touch nothing else.
int signal_pipe = -1;
volatile std::sig_atomic_t signal_pending = 0;

void on_signal(int signal) {
    if (signal_pending != 0) {
        // The first one has not ended the run yet (the window thread is busy): this one ends it now.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    signal_pending = signal;
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (::write(signal_pipe, &byte, 1) < 0) {
        // Nothing can be done inside a handler; the pending mark still lets a second signal end the run.
    }
    errno = saved;
}

} // namespace

ExitOnSignals::ExitOnSignals() {
    if (signal_pipe >= 0)
        throw std::logic_error("signals are already handled");
    if (::pipe2(m_pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot make a pipe for signals");
    signal_pipe = m_pipe[1];
    signal_pending = 0;
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { on_readable(); });

    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < handled_signals.size(); ++i) {
        if (::sigaction(handled_signals[i], nullptr, &m_previous[i]) != 0 ||
            m_previous[i].sa_handler == SIG_IGN)
            continue;
        m_installed[i] = ::sigaction(handled_signals[i], &action, nullptr) == 0;
    }
}

ExitOnSignals::~ExitOnSignals() {
    for (std::size_t i = 0; i < handled_signals.size(); ++i) {
        if (m_installed[i])
            ::sigaction(handled_signals[i], &m_previous[i], nullptr);
    }
    m_notifier.reset();
    signal_pipe = -1;
    for (const int fd : m_pipe)
        ::close(fd);
}

void ExitOnSignals::on_readable() {
    unsigned char byte = 0;
    while (::read(m_pipe[0], &byte, 1) == 1) {
        if (m_caught == 0)
            m_caught = byte;
    }
    if (m_caught != 0)
        QCoreApplication::exit(128 + m_caught);
}

void ExitOnSignals::end_by(int signal) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

} // namespace DADOV
