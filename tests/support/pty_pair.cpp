#include "support/pty_pair.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace testsupport {

bool PtyPair::write(const QByteArray& bytes, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    qsizetype done = 0;
    while (m_terminal.master() >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_terminal.master(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd pfd{m_terminal.master(), POLLOUT, 0};
        const qint64 left = deadline.remainingTime();
        if (left == 0 || ::poll(&pfd, 1, int(qMin<qint64>(left, 50))) < 0)
            return false;
    }
    return done == bytes.size();
}

qsizetype PtyPair::writeSome(QByteArrayView bytes) {
    if (m_terminal.master() < 0 || bytes.isEmpty())
        return 0;
    const ssize_t n = ::write(m_terminal.master(), bytes.data(), size_t(bytes.size()));
    return n > 0 ? qsizetype(n) : 0;
}

bool PtyPair::writeQueued(const QByteArray& bytes, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    const qsizetype before = unreadByTool();
    if (!write(bytes, timeoutMs))
        return false;
    // The terminal moves the bytes from the device's side to the tool's side on a kernel worker.
    while (unreadByTool() < before + bytes.size()) {
        if (deadline.hasExpired())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

qsizetype PtyPair::unreadByTool() const {
    int waiting = 0;
    if (m_terminal.slave() < 0 || ::ioctl(m_terminal.slave(), FIONREAD, &waiting) != 0)
        return 0;
    return waiting;
}

bool PtyPair::readSome(QByteArray& got, qsizetype max, int waitMs) {
    pollfd pfd{m_terminal.master(), POLLIN, 0};
    if (m_terminal.master() < 0 || ::poll(&pfd, 1, waitMs) <= 0 || !(pfd.revents & POLLIN))
        return false;
    char buffer[4096];
    const ssize_t n = ::read(m_terminal.master(), buffer, size_t(qMin<qsizetype>(max, sizeof buffer)));
    if (n > 0)
        got.append(buffer, n);
    return n > 0;
}

QByteArray PtyPair::read(qsizetype count, int timeoutMs) {
    QByteArray got;
    const QDeadlineTimer deadline(timeoutMs);
    while (m_terminal.master() >= 0 && got.size() < count) {
        if (!readSome(got, count - got.size(), int(deadline.remainingTime())) && deadline.hasExpired())
            break;
    }
    return got;
}

QByteArray PtyPair::readAll(int quietMs) {
    QByteArray got;
    while (readSome(got, 4096, quietMs)) {
    }
    return got;
}

std::optional<termios> PtyPair::slaveSettings() const {
    termios tio{};
    if (m_terminal.slave() < 0 || ::tcgetattr(m_terminal.slave(), &tio) != 0)
        return std::nullopt;
    return tio;
}

} // namespace testsupport
