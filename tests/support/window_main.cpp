// Entry of the window tests: one QApplication on the offscreen platform for the
// whole run, then GoogleTest. The tool's settings and data folders are
// temporary ones of the run, never the user's.
#include <QApplication>
#include <QTemporaryDir>
#include <gmock/gmock.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir user_folders;
    if (!user_folders.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(user_folders.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(user_folders.filePath(QStringLiteral("data"))));
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
