// Entry of the window tests: one QApplication on the offscreen platform for the
// whole run, then GoogleTest. The tool's settings and data folders are
// temporary ones of the run, never the user's. A warning (or worse) of a q5
// logging category fails the running test unless the test expects it
// (support/expected_warning.h): a handler that throws never passes unseen.
#include "support/expected_warning.h"
#include "widgets/heap_policy.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

std::mutex expectations_mutex;
std::vector<testsupport::ExpectedWarning*> expectations; // innermost last
QtMessageHandler previous_handler = nullptr;

bool is_q5_category(const char* category) {
    return category && std::strncmp(category, "q5.", 3) == 0;
}

bool expected(const char* category, const QString& message) {
    const std::lock_guard<std::mutex> lock(expectations_mutex);
    for (auto it = expectations.rbegin(); it != expectations.rend(); ++it) {
        if ((*it)->take(category, message))
            return true;
    }
    return false;
}

void fail_on_q5_warnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const bool warning = type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg;
    if (warning && is_q5_category(context.category)) {
        if (expected(context.category, message))
            return;
        ADD_FAILURE() << "unexpected warning of " << context.category << ": " << message.toStdString();
        if (type != QtFatalMsg)
            return;
    }
    if (previous_handler)
        previous_handler(type, context, message);
}

} // namespace

namespace testsupport {

ExpectedWarning::ExpectedWarning(std::string category, QString message)
    : _category(std::move(category)), _message(std::move(message)) {
    const std::lock_guard<std::mutex> lock(expectations_mutex);
    expectations.push_back(this);
}

ExpectedWarning::~ExpectedWarning() {
    {
        const std::lock_guard<std::mutex> lock(expectations_mutex);
        expectations.erase(std::find(expectations.begin(), expectations.end(), this));
    }
    EXPECT_GT(_count, 0) << "expected warning of " << _category << " never came: " << _message.toStdString();
}

int ExpectedWarning::count() const {
    const std::lock_guard<std::mutex> lock(expectations_mutex);
    return _count;
}

bool ExpectedWarning::take(const char* category, const QString& message) {
    if (_category != category || _message != message)
        return false;
    ++_count;
    return true;
}

} // namespace testsupport

int main(int argc, char** argv) {
    // As the program does.
    DADOV::return_large_buffers_to_the_system();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir user_folders;
    if (!user_folders.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(user_folders.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(user_folders.filePath(QStringLiteral("data"))));
    previous_handler = qInstallMessageHandler(fail_on_q5_warnings);
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
