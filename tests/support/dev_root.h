#pragma once

// Where the window under test opens its ports, and the name of the simulated controller's port there.

#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <stdexcept>

namespace testsupport {

#ifdef Q_OS_WIN
// The controller's port as Windows names it.
inline const QString controller_port = QStringLiteral("COM3");

// A device root of named pipes of this test alone: "\\.\pipe\q5test-<process>-<n>-".
class FakeDevRoot {
public:
    FakeDevRoot() {
        static std::atomic<int> made{0};
        m_path =
            QStringLiteral("\\\\.\\pipe\\q5test-%1-%2-").arg(QCoreApplication::applicationPid()).arg(++made);
    }
    QString path() const { return m_path; }

private:
    QString m_path;
};
#else
// The controller's port as Linux names a CDC ACM port.
inline const QString controller_port = QStringLiteral("ttyACM0");

// A folder that stands for /dev, the device root of the window or link under
// test: pseudo-terminals are published in it under port names.
class FakeDevRoot {
public:
    FakeDevRoot() {
        if (!m_dir.isValid()) // an empty root would send the tool to the real /dev
            throw std::runtime_error("cannot create a temporary device folder");
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
#endif

} // namespace testsupport
