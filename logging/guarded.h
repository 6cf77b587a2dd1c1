#pragma once

// The window's one failure path. Nothing may leave a Qt slot by an exception: a handler that fails ends
// its own run and the window goes on, and what failed is logged under its component's category, so that
// a failure never looks like a handler that did nothing. The categories are switched with
// QT_LOGGING_RULES (e.g. "q5.link.debug=true" or "q5.*=false").

#include <QLoggingCategory>

#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcLink)        // q5.link: the serial link, discovery, attaching
Q_DECLARE_LOGGING_CATEGORY(lcProtocol)    // q5.protocol: the controller's replies
Q_DECLARE_LOGGING_CATEGORY(lcPages)       // q5.pages: the pages' handlers
Q_DECLARE_LOGGING_CATEGORY(lcMaintenance) // q5.maintenance: firmware update and ID

namespace DADOV {

// Logs the exception being handled: the text of a std::exception, or "unknown exception". Only for use
// inside a catch block. `level` is QtWarningMsg for a failure, lower where swallowing it is intended.
void log_failure(const QLoggingCategory& category, const char* name, QtMsgType level = QtWarningMsg);

// Runs `handler` now; true when it completed, false when it threw (which is logged).
template <typename Handler>
bool run_guarded(const QLoggingCategory& category, const char* name, Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (...) {
        log_failure(category, name);
        return false;
    }
}

// `handler` as a slot: run_guarded on each call.
template <typename Handler>
auto guarded(const QLoggingCategory& category, const char* name, Handler handler) {
    return [&category, name, handler = std::move(handler)]() { run_guarded(category, name, handler); };
}

} // namespace DADOV
