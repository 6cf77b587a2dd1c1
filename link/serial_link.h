#pragma once

// The serial link to the controller (serialPort1): a serial port at 9600 8N1,
// no flow control, DTR and RTS off (link/serial_port.h), whose every operation
// fails silently (it reports false and changes nothing). Received bytes are
// split into lines at "\n" on the window thread (link/line_assembler.h).
//
// While bytes keep coming, the link reads them every kReadPauseMs rather than
// being woken for each USB packet: a stream of 500 pairs a second then costs a
// hundred wake-ups of the window thread a second, not a thousand. The first
// bytes after a quiet spell are read at once.
//
// Whatever the controller sends, the link stays small and the window thread
// stays free: lines are delivered in slices of at most kSliceMs, each slice
// followed by a turn of the event loop (painting, timers, clicks), and at most
// kMaxQueuedBytes of received text waits for delivery. Past that the link reads
// no more until the window has caught up; the terminal fills, and the sender
// waits. No line is lost or reordered by either.

#include "link/line_assembler.h"
#include "link/serial_port.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <memory>

namespace DADOV {

class SerialLink : public QObject {
    Q_OBJECT
public:
    // Longest line delivered; a longer one is dropped up to its "\n".
    static constexpr qsizetype kMaxLineLength = LineAssembler::kMaxLineLength;
    // Longest run of deliveries before the event loop gets its turn.
    static constexpr int kSliceMs = 10;
    // Received text waiting for delivery (each line counts its length plus one) before the link stops
    // reading, and the most read from the port at once.
    static constexpr qsizetype kMaxQueuedBytes = 32 * 1024;
    static constexpr qint64 kPortBufferBytes = 16 * 1024;
    // While bytes keep coming, the pause between reads.
    static constexpr int kReadPauseMs = 10;

    // Port names without '/' name ports in the device root; an empty root
    // means /dev. On Windows the device root, if any, is put before the name.
    explicit SerialLink(QString deviceRoot = {}, QObject* parent = nullptr);
    ~SerialLink() override;

    // Only while closed. A name without '/' (such as ttyACM0) names a port
    // in the device root; a name with '/' must be an absolute path. On
    // Windows a name is a COM port's ("COM5"), opened as it is after the
    // device root.
    bool setPortName(const QString& name);
    QString portName() const;
    // The path that open() opens for the current name.
    QString portPath() const;

    // False on any failure (missing port, in use, not a terminal); the link
    // then stays closed.
    bool open();
    // Whether the last open() failed because this user may not open the port.
    bool openDeniedPermission() const { return m_permissionDenied; }
    // Closing a closed link does nothing.
    void close();
    bool isOpen() const;

    // Discards the received bytes not yet delivered and the bytes not yet
    // sent. False on a closed link.
    bool discardBuffers();
    // Sends the text as ASCII bytes (any other character as '?'), exactly, with
    // no terminator. False on a closed link.
    bool write(const QString& text);
    // Sends the bytes unchanged. False on a closed link.
    bool write(const QByteArray& bytes);

    // Holds back the delivery of received lines, for code that turns the event loop in the middle of
    // its work (the firmware-update engine's console): lines go on being received and queued, none is
    // lost, and the last release has them delivered, in order, from the event loop. Holds nest; closing
    // or opening the link does not end them.
    void holdDelivery();
    void releaseDelivery();
    // Received text waiting for delivery, as it counts against kMaxQueuedBytes.
    qsizetype queuedBytes() const { return m_queuedBytes; }

signals:
    // One complete line, without its "\n" (a "\r" before it stays), in the
    // order received, on the thread of the link. Bytes above 0x7F read as '?'.
    void lineReceived(const QString& line);

private:
    bool m_permissionDenied = false;
    void onReadyRead();
    void deliverLines();
    void postDelivery();
    void takeBytes(const QByteArray& bytes);
    // Reads what the port holds, while the queue has room; then has the port read again after a pause,
    // or watched when it held nothing.
    void pullBytes();
    void resetReceiveState();

    SerialPort m_port;
    QTimer m_readPause; // while running, the port is read when it ends, not watched
    QString m_deviceRoot;
    QString m_name;
    LineAssembler m_assembler;     // the line being received
    std::deque<QString> m_lines;   // complete lines not yet delivered
    qsizetype m_queuedBytes = 0;   // their lengths, plus one a line
    bool m_deliveryPosted = false; // deliverLines() queued
    bool m_delivering = false;     // deliverLines() running (re-entry guard)
    int m_holds = 0;               // outstanding holdDelivery() calls
};

} // namespace DADOV
