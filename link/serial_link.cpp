#include "link/serial_link.h"

#include "logging/guarded.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <utility>

namespace DADOV {

namespace {

QByteArray to_ascii(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            bytes.append(char(c.unicode()));
        } else {
            bytes.append('?');
            if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ++i; // one character, one '?'
        }
    }
    return bytes;
}

} // namespace

struct SerialLink::HangupWatch {
    int fd = -1;
    QPointer<QSocketNotifier> notifier; // owned by the link, deleted later

    ~HangupWatch() {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
        if (fd >= 0)
            ::close(fd);
    }
};

SerialLink::SerialLink(QString deviceRoot, QObject* parent)
    : QObject(parent), m_deviceRoot(deviceRoot.isEmpty() ? QStringLiteral("/dev") : std::move(deviceRoot)) {
    connect(&m_port, &QSerialPort::readyRead, this, &SerialLink::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onErrorOccurred);
}

SerialLink::~SerialLink() {
    close();
}

bool SerialLink::setPortName(const QString& name) {
    // A name with a '/' must be a whole path: a relative one ("tty/../x", as a
    // device's product string could make discovery report) would leave the
    // device folder.
    if (isOpen() || name.isEmpty() || name.contains(QChar(0)) ||
        (name.contains(QLatin1Char('/')) && !name.startsWith(QLatin1Char('/'))))
        return false;
    m_name = name;
    return true;
}

QString SerialLink::portName() const {
    return m_name;
}

QString SerialLink::portPath() const {
    if (m_name.isEmpty())
        return {};
    if (m_name.startsWith(QLatin1Char('/')))
        return QFileInfo(m_name).absoluteFilePath();
    return QFileInfo(m_deviceRoot + QLatin1Char('/') + m_name).absoluteFilePath();
}

bool SerialLink::open() {
    if (isOpen() || m_name.isEmpty())
        return false;
    resetReceiveState();
    m_port.setPortName(portPath());
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    // A full buffer stops the port reading until the link takes from it.
    m_port.setReadBufferSize(kPortBufferBytes);
    m_permissionDenied = false;
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_permissionDenied = m_port.error() == QSerialPort::PermissionError;
        m_port.clearError();
        return false;
    }
    // Modem lines off; a port without them (a pseudo-terminal) refuses, which
    // is no failure of the link.
    m_port.setDataTerminalReady(false);
    m_port.setRequestToSend(false);
    m_port.clearError();

    auto watch = std::make_unique<HangupWatch>();
    watch->fd = ::fcntl(int(m_port.handle()), F_DUPFD_CLOEXEC, 0);
    if (watch->fd >= 0) {
        watch->notifier = new QSocketNotifier(qintptr(watch->fd), QSocketNotifier::Read, this);
        connect(watch->notifier, &QSocketNotifier::activated, this, &SerialLink::onHangupWatch);
    }
    m_hangup = std::move(watch);
    return true;
}

void SerialLink::close() {
    m_hangup.reset();
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
    resetReceiveState();
}

bool SerialLink::isOpen() const {
    return m_port.isOpen();
}

bool SerialLink::discardBuffers() {
    if (!isOpen())
        return false;
    resetReceiveState();
    const bool cleared = m_port.clear(QSerialPort::AllDirections);
    m_port.clearError();
    return cleared;
}

bool SerialLink::write(const QString& text) {
    return write(to_ascii(text));
}

bool SerialLink::write(const QByteArray& bytes) {
    if (!isOpen())
        return false;
    if (bytes.isEmpty())
        return true;
    if (m_port.write(bytes) != bytes.size())
        return false;
    // Out now rather than at the next turn of the event loop: the window
    // thread may sleep between a command and the next.
    m_port.flush();
    return isOpen();
}

void SerialLink::onReadyRead() {
    pullBytes();
    postDelivery();
}

// Reading all the port holds also has it read from the terminal again, if a full buffer had stopped it.
void SerialLink::pullBytes() {
    if (isOpen() && m_queuedBytes < kMaxQueuedBytes && m_port.bytesAvailable() > 0)
        takeBytes(m_port.readAll());
}

void SerialLink::holdDelivery() {
    ++m_holds;
}

void SerialLink::releaseDelivery() {
    if (m_holds == 0)
        return;
    if (--m_holds == 0)
        postDelivery();
}

// Handlers run from the event loop, not inside QSerialPort's signal or
// inside releaseDelivery(): one may close or even destroy the link, or run an
// event loop of its own (QSerialPort announces no bytes while its readyRead
// is being handled).
void SerialLink::postDelivery() {
    if (!m_lines.empty() && !m_deliveryPosted && !m_delivering && m_holds == 0) {
        m_deliveryPosted = true;
        QMetaObject::invokeMethod(this, &SerialLink::deliverLines, Qt::QueuedConnection);
    }
}

void SerialLink::deliverLines() {
    m_deliveryPosted = false;
    if (m_delivering || m_holds > 0)
        return;
    m_delivering = true;
    const QPointer<SerialLink> self(this);
    QElapsedTimer slice;
    slice.start();
    // Lines that arrive while a handler runs an event loop join the queue
    // and are delivered here, in order; a handler that holds delivery stops
    // it until its release. A slice ends after kSliceMs; the rest follows at
    // the next turn of the event loop.
    while (!m_lines.empty() && m_holds == 0 && !slice.hasExpired(kSliceMs)) {
        const QString line = std::move(m_lines.front());
        m_lines.pop_front();
        m_queuedBytes -= line.size() + 1;
        // A failing handler costs its line only.
        run_guarded(lcLink(), "lineReceived", [this, &line] { emit lineReceived(line); });
        if (!self)
            return;
        if (m_lines.empty())
            pullBytes();
    }
    m_delivering = false;
    pullBytes();
    postDelivery();
}

void SerialLink::takeBytes(const QByteArray& bytes) {
    for (QString& line : m_assembler.take(bytes)) {
        m_queuedBytes += line.size() + 1;
        m_lines.push_back(std::move(line));
    }
}

void SerialLink::onErrorOccurred(QSerialPort::SerialPortError error) {
    // A vanished or hung-up port keeps failing at every read: close it at the
    // first. A full output buffer (which QSerialPort also reports as a
    // resource error) leaves the port as it is.
    if (!isOpen())
        return;
    if (error == QSerialPort::ReadError || (error == QSerialPort::ResourceError && portBroken()))
        close();
}

bool SerialLink::portBroken() const {
    pollfd pfd{int(m_port.handle()), POLLIN, 0};
    return ::poll(&pfd, 1, 0) < 0 || (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void SerialLink::onHangupWatch() {
    if (portBroken())
        close();
}

void SerialLink::resetReceiveState() {
    m_assembler.reset();
    m_lines.clear();
    m_queuedBytes = 0;
}

} // namespace DADOV
