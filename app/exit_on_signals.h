#pragma once

// Ending a run gracefully on a signal, so that what the program holds (simulate mode's temporary folder)
// is released on the way out.

#include <QObject>

#include <array>
#include <csignal>
#include <memory>

class QSocketNotifier;

namespace DADOV {

// While it lives, SIGTERM, SIGINT and SIGHUP (the terminal closed) end the application's event loop instead
// of the process. On Windows the console's Ctrl+C (SIGINT), Ctrl+Break and closing (SIGTERM) do the same,
// when the program has a console. A signal that was ignored when the object was made stays ignored (as under
// nohup); a second signal while the first is still on its way ends the process at once. One at a time; needs
// a QCoreApplication.
class ExitOnSignals : public QObject {
public:
    ExitOnSignals();
    ~ExitOnSignals() override;
    ExitOnSignals(const ExitOnSignals&) = delete;
    ExitOnSignals& operator=(const ExitOnSignals&) = delete;

    // The signal that ended the event loop; 0 when none did.
    int caught() const { return m_caught; }

    // Ends the process by `signal` with its default action, so that whoever started it sees how it ended.
    static void end_by(int signal);

private:
#ifdef Q_OS_WIN
    friend struct ConsoleEvents;
#else
    void on_readable();

    std::array<int, 2> m_pipe{-1, -1};
    std::array<struct sigaction, 3> m_previous{};
    std::array<bool, 3> m_installed{};
    std::unique_ptr<QSocketNotifier> m_notifier;
#endif
    int m_caught = 0;
};

} // namespace DADOV
