#pragma once

// The controller's serial port as the link uses it: opened at 9600 8N1, raw, no flow control, DTR and RTS
// off, for this program alone. Reads take what the port holds, without waiting. Writes go out at once as
// far as the port takes them; the rest waits here and goes out from the event loop, in order.
//
// The port tells of received bytes once (readyRead) and then not again until asked to watch
// (watchForBytes): the link decides when it wants to be woken, so that a steady stream wakes the window
// thread a few times per paint rather than at every USB packet.
//
// A hang-up, a removed device or a failed read or write ends the port: it closes and says so once
// (broken).
//
// On Linux the port is a terminal (serial_port_posix.cpp); on Windows a COM port opened for overlapped
// I/O (serial_port_windows.cpp).

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace DADOV {

class SerialPort : public QObject {
    Q_OBJECT

public:
    enum class OpenFailure { None, PermissionDenied, Other };

    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override;

    // False, and closed, on any failure: missing, not a terminal, in use, settings refused.
    bool open(const QString& path);
    OpenFailure openFailure() const { return _openFailure; }
    void close();
    bool isOpen() const;

    // Up to `max` received bytes, as many as wait now; empty when none (or closed, or broken, which
    // closes it).
    QByteArray read(qint64 max);
    // Asks for one readyRead when bytes wait (at once if some wait now).
    void watchForBytes();

    // Queues the bytes and sends what the port takes now. False when closed or broken.
    bool write(const QByteArray& bytes);
    // Bytes written but not yet taken by the port.
    qint64 bytesToWrite() const;
    // Discards what was received and not read, and what waits to be sent. False when closed.
    bool clear();

signals:
    void readyRead();
    void broken();

private:
    struct Device;
    void fail();
    void send();
#ifdef Q_OS_WIN
    void startRead();
    void announceBytes();
    // Ends the outstanding read or write: true when it completed, false when it has not yet or failed
    // (which ends the port).
    bool finishOverlapped(bool writing, unsigned long& transferred);
    void completeRead();
    void completeWrite();
#endif

    std::unique_ptr<Device> _device;
    OpenFailure _openFailure = OpenFailure::None;
};

} // namespace DADOV
