// Windows has no signals: the console's control events stand for them. The handler runs on a thread of
// the system's, so it only posts the end of the run to the window thread.

#include "app/exit_on_signals.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <stdexcept>

#include <windows.h>

namespace DADOV {

struct ConsoleEvents {
    static inline std::atomic<ExitOnSignals*> owner{nullptr};
    static inline std::atomic<int> pending{0};

    static BOOL WINAPI on_event(DWORD event) {
        int signal = 0;
        switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            signal = SIGINT;
            break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            signal = SIGTERM;
            break;
        default:
            return FALSE;
        }
        int none = 0;
        if (!pending.compare_exchange_strong(none, signal))
            return FALSE; // the first one has not ended the run yet: the default ends the process now
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr)
            return FALSE;
        QMetaObject::invokeMethod(
            app,
            [signal] {
                if (ExitOnSignals* handling = owner.load()) {
                    if (handling->m_caught == 0)
                        handling->m_caught = signal;
                    QCoreApplication::exit(128 + signal);
                }
            },
            Qt::QueuedConnection);
        return TRUE;
    }
};

ExitOnSignals::ExitOnSignals() {
    ExitOnSignals* none = nullptr;
    if (!ConsoleEvents::owner.compare_exchange_strong(none, this))
        throw std::logic_error("signals are already handled");
    ConsoleEvents::pending = 0;
    ::SetConsoleCtrlHandler(&ConsoleEvents::on_event, TRUE);
}

ExitOnSignals::~ExitOnSignals() {
    ::SetConsoleCtrlHandler(&ConsoleEvents::on_event, FALSE);
    ConsoleEvents::owner = nullptr;
}

void ExitOnSignals::end_by(int signal) {
    // As a console program ended by Ctrl+C ends.
    ::ExitProcess(signal == SIGINT ? STATUS_CONTROL_C_EXIT : 128 + static_cast<UINT>(signal));
}

} // namespace DADOV
