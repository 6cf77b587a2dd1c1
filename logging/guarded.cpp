#include "logging/guarded.h"

#include <exception>

Q_LOGGING_CATEGORY(lcLink, "q5.link")
Q_LOGGING_CATEGORY(lcProtocol, "q5.protocol")
Q_LOGGING_CATEGORY(lcPages, "q5.pages")
Q_LOGGING_CATEGORY(lcMaintenance, "q5.maintenance")

namespace DADOV {

namespace {

QByteArray failure_text() {
    try {
        throw;
    } catch (const std::exception& e) {
        return QByteArray(e.what());
    } catch (...) {
        return QByteArrayLiteral("unknown exception");
    }
}

} // namespace

void log_failure(const QLoggingCategory& category, const char* name, QtMsgType level) {
    const QByteArray text = failure_text();
    switch (level) {
    case QtDebugMsg:
        qCDebug(category, "%s: %s", name, text.constData());
        break;
    case QtInfoMsg:
        qCInfo(category, "%s: %s", name, text.constData());
        break;
    default:
        qCWarning(category, "%s: %s", name, text.constData());
        break;
    }
}

} // namespace DADOV
