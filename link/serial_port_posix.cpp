// The serial port on a POSIX terminal: a non-blocking descriptor watched by the event loop.

#include "link/serial_port.h"

#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace DADOV {

struct SerialPort::Device {
    int fd = -1;
    QSocketNotifier* reader = nullptr; // both deleted later: either may be the one now signalling
    QSocketNotifier* writer = nullptr;
    QByteArray out; // written, not yet taken by the terminal

    ~Device() {
        for (QSocketNotifier* notifier : {reader, writer}) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        if (fd >= 0)
            ::close(fd);
    }
};

namespace {

// Raw bytes at 9600 baud, 8 data bits, no parity, one stop bit, no flow control of either kind. A read
// wants one byte, so that on the non-blocking descriptor "nothing yet" is EAGAIN and only a hung-up
// terminal reads as end of file.
bool set_line(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B9600) != 0 || ::cfsetospeed(&tio, B9600) != 0)
        return false;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool hung_up(int fd) {
    pollfd pfd{fd, POLLIN, 0};
    return ::poll(&pfd, 1, 0) < 0 || (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

SerialPort::SerialPort(QObject* parent) : QObject(parent) {}

SerialPort::~SerialPort() = default;

bool SerialPort::open(const QString& path) {
    close();
    _openFailure = OpenFailure::None;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        _openFailure = errno == EACCES || errno == EPERM ? OpenFailure::PermissionDenied : OpenFailure::Other;
        return false;
    }
    auto device = std::make_unique<Device>();
    device->fd = fd;
    // Ours alone: a second opener of the same device (this program or another that locks it) is refused,
    // and the terminal takes no other opener but root.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0 || !set_line(fd)) {
        _openFailure = OpenFailure::Other;
        return false;
    }
    // Modem lines off; a terminal without them (a pseudo-terminal) refuses, which is no failure.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);

    device->reader = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    connect(device->reader, &QSocketNotifier::activated, this, [this] {
        // Once: the owner reads, and asks again when it wants to be woken.
        if (_device)
            _device->reader->setEnabled(false);
        emit readyRead();
    });
    device->writer = new QSocketNotifier(qintptr(fd), QSocketNotifier::Write, this);
    device->writer->setEnabled(false);
    connect(device->writer, &QSocketNotifier::activated, this, &SerialPort::send);
    _device = std::move(device);
    return true;
}

void SerialPort::close() {
    _device.reset();
}

bool SerialPort::isOpen() const {
    return _device != nullptr;
}

QByteArray SerialPort::read(qint64 max) {
    QByteArray bytes;
    while (_device && bytes.size() < max) {
        const qsizetype have = bytes.size();
        bytes.resize(static_cast<qsizetype>(max));
        const ssize_t n = ::read(_device->fd, bytes.data() + have, static_cast<size_t>(max - have));
        bytes.resize(have + std::max<qsizetype>(n, 0));
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // Some terminals read as empty rather than EAGAIN when nothing waits: only a hang-up ends it.
        if (n == 0 && !hung_up(_device->fd))
            break;
        // Hung up, or a failed read (the device is gone).
        fail();
    }
    return bytes;
}

void SerialPort::watchForBytes() {
    if (_device)
        _device->reader->setEnabled(true);
}

bool SerialPort::write(const QByteArray& bytes) {
    if (!_device)
        return false;
    _device->out += bytes;
    send();
    return isOpen();
}

qint64 SerialPort::bytesToWrite() const {
    return _device ? _device->out.size() : 0;
}

bool SerialPort::clear() {
    if (!_device)
        return false;
    _device->out.clear();
    _device->writer->setEnabled(false);
    return ::tcflush(_device->fd, TCIOFLUSH) == 0;
}

void SerialPort::send() {
    while (_device && !_device->out.isEmpty()) {
        const ssize_t n =
            ::write(_device->fd, _device->out.constData(), static_cast<size_t>(_device->out.size()));
        if (n > 0) {
            _device->out.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        fail();
    }
    if (_device)
        _device->writer->setEnabled(!_device->out.isEmpty());
}

void SerialPort::fail() {
    if (!_device)
        return;
    _device.reset();
    emit broken();
}

} // namespace DADOV
