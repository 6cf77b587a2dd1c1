#include "link/serial_link.h"

#include "logging/guarded.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>

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

SerialLink::SerialLink(QString deviceRoot, QObject* parent)
    : QObject(parent), m_deviceRoot(std::move(deviceRoot)) {
#ifndef Q_OS_WIN
    if (m_deviceRoot.isEmpty())
        m_deviceRoot = QStringLiteral("/dev");
#endif
    connect(&m_port, &SerialPort::readyRead, this, &SerialLink::onReadyRead);
    // A vanished or hung-up port ends the link.
    connect(&m_port, &SerialPort::broken, this, &SerialLink::close);
    m_readPause.setSingleShot(true);
    m_readPause.setInterval(kReadPauseMs);
    connect(&m_readPause, &QTimer::timeout, this, [this] {
        pullBytes();
        postDelivery();
    });
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
#ifdef Q_OS_WIN
    // "COM5": the port's own name is its path, after the device root when there is one (simulate mode's
    // "\\.\pipe\q5tool-simulate-1234-").
    return m_deviceRoot + m_name;
#endif
    if (m_name.startsWith(QLatin1Char('/')))
        return QFileInfo(m_name).absoluteFilePath();
    return QFileInfo(m_deviceRoot + QLatin1Char('/') + m_name).absoluteFilePath();
}

bool SerialLink::open() {
    if (isOpen() || m_name.isEmpty())
        return false;
    resetReceiveState();
    m_permissionDenied = false;
    if (!m_port.open(portPath())) {
        m_permissionDenied = m_port.openFailure() == SerialPort::OpenFailure::PermissionDenied;
        return false;
    }
    m_port.watchForBytes();
    return true;
}

void SerialLink::close() {
    m_readPause.stop();
    m_port.close();
    resetReceiveState();
}

bool SerialLink::isOpen() const {
    return m_port.isOpen();
}

bool SerialLink::discardBuffers() {
    if (!isOpen())
        return false;
    resetReceiveState();
    return m_port.clear();
}

bool SerialLink::write(const QString& text) {
    return write(to_ascii(text));
}

bool SerialLink::write(const QByteArray& bytes) {
    if (!isOpen())
        return false;
    if (bytes.isEmpty())
        return true;
    // Out now as far as the port takes it, rather than at the next turn of the
    // event loop: the window thread may sleep between a command and the next.
    return m_port.write(bytes);
}

void SerialLink::onReadyRead() {
    pullBytes();
    postDelivery();
}

// With the queue full nothing is read and the port is not watched: the terminal fills and the sender waits,
// until delivery has made room and reads again.
void SerialLink::pullBytes() {
    if (!isOpen() || m_queuedBytes >= kMaxQueuedBytes)
        return;
    const QByteArray bytes = m_port.read(kPortBufferBytes);
    if (!isOpen())
        return; // it broke
    if (!bytes.isEmpty()) {
        takeBytes(bytes);
        // More is on its way: read it after a pause, rather than being woken for each piece.
        if (!m_readPause.isActive())
            m_readPause.start();
    } else if (!m_readPause.isActive()) {
        m_port.watchForBytes();
    }
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

// Handlers run from the event loop, not inside the port's signal or inside
// releaseDelivery(): one may close or even destroy the link, or run an event
// loop of its own.
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

void SerialLink::resetReceiveState() {
    m_assembler.reset();
    m_lines.clear();
    m_queuedBytes = 0;
}

} // namespace DADOV
