#pragma once

#include "sim/controller/pseudo_terminal.h"
#include "support/dev_root.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <stdexcept>

#include <termios.h>

namespace testsupport {

// A pseudo-terminal published as <dev root>/<name> (DADOV::PseudoTerminal). The test plays the device on
// the master side: it writes the bytes the device sends and reads what the tool wrote.
class PtyPair {
public:
    PtyPair(const FakeDevRoot& devRoot, const QString& name = QStringLiteral("ttyACM0"))
        : m_terminal(devRoot.path() + QLatin1Char('/') + name) {}
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    QString linkPath() const { return m_terminal.linkPath(); }
    QString slavePath() const { return m_terminal.slavePath(); }

    // Sends bytes as the device; false if not all could be written within the time-out.
    bool write(const QByteArray& bytes, int timeoutMs = 2000);
    // Sends bytes as the device and returns once all of them wait in the terminal for the tool to read.
    // Runs no event loop, so the tool cannot read them meanwhile. False on a time-out.
    bool writeQueued(const QByteArray& bytes, int timeoutMs = 2000);
    // Sends as many of the bytes as the terminal takes now, without waiting; returns how many.
    qsizetype writeSome(QByteArrayView bytes);
    // Bytes the device sent that the tool has not read yet.
    qsizetype unreadByTool() const;
    // Reads what the tool wrote: waits until `count` bytes have arrived or
    // the time-out has passed, and returns what arrived (at most `count`).
    QByteArray read(qsizetype count, int timeoutMs = 2000);
    // Everything that arrives until nothing more comes for `quietMs`.
    QByteArray readAll(int quietMs = 100);

    // The device goes away: closes the master (the slave is hung up) and
    // removes the published name.
    void hangUp() { m_terminal.hangUp(); }
    // The terminal settings of the slave as the tool left them.
    std::optional<termios> slaveSettings() const;

private:
    // Appends at most `max` of the bytes the tool wrote, waiting up to `waitMs` for them; false if none came.
    bool readSome(QByteArray& got, qsizetype max, int waitMs);

    DADOV::PseudoTerminal m_terminal;
};

} // namespace testsupport
