// The serial port on Windows: a COM port opened for overlapped I/O, its read and write completions waited
// on by the event loop (QWinEventNotifier).
//
// A named pipe opens as a port too (simulate mode's controller is one, sim/controller/sim_port.h): it has
// no line settings to make, and everything else is the same.
//
// One read is always outstanding while the port is watched: it completes as soon as at least one byte has
// come (with all that came, up to the buffer), and its bytes wait here until the owner reads them.

#include "link/serial_port.h"

#include <QWinEventNotifier>

#include <windows.h>

namespace DADOV {

namespace {

constexpr DWORD kReadChunk = 4096;
constexpr DWORD kPipeBusyWaitMs = 100;

} // namespace

struct SerialPort::Device {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool pipe = false; // a named pipe, not a COM port
    OVERLAPPED reading{};
    OVERLAPPED writing{};
    QWinEventNotifier* readDone = nullptr; // both deleted later: either may be the one now signalling
    QWinEventNotifier* writeDone = nullptr;
    bool readPending = false;
    bool writePending = false;
    bool watching = false;
    char buffer[kReadChunk];
    QByteArray in;      // received, not yet read by the owner
    QByteArray out;     // written, not yet handed to the port
    QByteArray sending; // handed to the port, not yet complete

    ~Device() {
        for (QWinEventNotifier* notifier : {readDone, writeDone}) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        if (handle != INVALID_HANDLE_VALUE) {
            // Outstanding reads and writes end before their buffers go.
            ::CancelIo(handle);
            DWORD n = 0;
            if (readPending)
                ::GetOverlappedResult(handle, &reading, &n, TRUE);
            if (writePending)
                ::GetOverlappedResult(handle, &writing, &n, TRUE);
            ::CloseHandle(handle);
        }
        for (HANDLE event : {reading.hEvent, writing.hEvent}) {
            if (event)
                ::CloseHandle(event);
        }
    }
};

namespace {

// 9600 baud, 8 data bits, no parity, one stop bit, binary, no flow control of either kind, DTR and RTS
// off. A read waits for the first byte, then ends at the first pause of a millisecond between bytes (or a
// full buffer).
bool set_line(HANDLE handle) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb))
        return false;
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(handle, &dcb))
        return false;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    return ::SetCommTimeouts(handle, &timeouts) != 0;
}

// "COM5" as the device namespace has it: "\\.\COM5" (which COM10 and above need).
std::wstring device_path(const QString& name) {
    QString path = name;
    if (!path.startsWith(QLatin1String("\\\\.\\")))
        path.prepend(QLatin1String("\\\\.\\"));
    return path.toStdWString();
}

} // namespace

SerialPort::SerialPort(QObject* parent) : QObject(parent) {}

SerialPort::~SerialPort() = default;

bool SerialPort::open(const QString& path) {
    close();
    _openFailure = OpenFailure::None;
    if (path.isEmpty() || path.contains(QChar(0))) {
        _openFailure = OpenFailure::Other;
        return false;
    }
    auto device = std::make_unique<Device>();
    // Ours alone: no sharing.
    const std::wstring name = device_path(path);
    device->handle = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, nullptr);
    // A pipe whose far end has not yet seen the last opener go is busy for a moment: one short wait for
    // it, then the same answer as for a port in use.
    if (device->handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PIPE_BUSY &&
        ::WaitNamedPipeW(name.c_str(), kPipeBusyWaitMs))
        device->handle = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED, nullptr);
    if (device->handle == INVALID_HANDLE_VALUE) {
        _openFailure = OpenFailure::Other;
        return false;
    }
    device->reading.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    device->writing.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    device->pipe = ::GetFileType(device->handle) == FILE_TYPE_PIPE;
    if (!device->reading.hEvent || !device->writing.hEvent ||
        (!device->pipe && (::GetFileType(device->handle) != FILE_TYPE_CHAR || !set_line(device->handle)))) {
        _openFailure = OpenFailure::Other;
        return false;
    }
    if (!device->pipe)
        ::PurgeComm(device->handle, PURGE_RXCLEAR | PURGE_TXCLEAR);

    device->readDone = new QWinEventNotifier(device->reading.hEvent, this);
    device->readDone->setEnabled(false);
    connect(device->readDone, &QWinEventNotifier::activated, this, [this] { completeRead(); });
    device->writeDone = new QWinEventNotifier(device->writing.hEvent, this);
    device->writeDone->setEnabled(false);
    connect(device->writeDone, &QWinEventNotifier::activated, this, [this] { completeWrite(); });
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
    if (!_device)
        return {};
    // What came since the last read, and what a completed read holds.
    if (_device->readPending && ::WaitForSingleObject(_device->reading.hEvent, 0) == WAIT_OBJECT_0)
        completeRead();
    if (!_device)
        return {};
    const QByteArray bytes = _device->in.left(static_cast<qsizetype>(max));
    _device->in.remove(0, bytes.size());
    return bytes;
}

void SerialPort::watchForBytes() {
    if (!_device)
        return;
    _device->watching = true;
    if (_device->in.isEmpty())
        startRead();
    else
        announceBytes(); // some wait already
}

void SerialPort::startRead() {
    if (_device->readPending)
        return;
    ::ResetEvent(_device->reading.hEvent);
    DWORD got = 0;
    if (::ReadFile(_device->handle, _device->buffer, kReadChunk, &got, &_device->reading)) {
        // Done at once.
        _device->in.append(_device->buffer, static_cast<qsizetype>(got));
        if (_device->watching && !_device->in.isEmpty())
            announceBytes();
        return;
    }
    if (::GetLastError() != ERROR_IO_PENDING) {
        fail();
        return;
    }
    _device->readPending = true;
    _device->readDone->setEnabled(true);
}

// Tells the watching owner, once, from the event loop.
void SerialPort::announceBytes() {
    _device->watching = false;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (_device)
                emit readyRead();
        },
        Qt::QueuedConnection);
}

bool SerialPort::finishOverlapped(bool writing, DWORD& transferred) {
    OVERLAPPED& overlapped = writing ? _device->writing : _device->reading;
    bool& pending = writing ? _device->writePending : _device->readPending;
    QWinEventNotifier* done = writing ? _device->writeDone : _device->readDone;
    if (!pending)
        return false;
    if (!::GetOverlappedResult(_device->handle, &overlapped, &transferred, FALSE)) {
        if (::GetLastError() == ERROR_IO_INCOMPLETE)
            return false;
        // The port is gone (a removed USB device) or failed.
        fail();
        return false;
    }
    pending = false;
    done->setEnabled(false);
    return true;
}

void SerialPort::completeRead() {
    DWORD got = 0;
    if (!_device || !finishOverlapped(false, got))
        return;
    _device->in.append(_device->buffer, static_cast<qsizetype>(got));
    if (!_device->watching)
        return;
    if (_device->in.isEmpty()) {
        startRead();
        return;
    }
    _device->watching = false;
    emit readyRead();
}

bool SerialPort::write(const QByteArray& bytes) {
    if (!_device)
        return false;
    _device->out += bytes;
    send();
    return isOpen();
}

qint64 SerialPort::bytesToWrite() const {
    return _device ? _device->out.size() + _device->sending.size() : 0;
}

bool SerialPort::clear() {
    if (!_device)
        return false;
    _device->out.clear();
    _device->in.clear();
    return _device->pipe || ::PurgeComm(_device->handle, PURGE_RXCLEAR | PURGE_TXCLEAR) != 0;
}

void SerialPort::send() {
    while (_device && !_device->writePending && !_device->out.isEmpty()) {
        _device->sending = _device->out;
        _device->out.clear();
        ::ResetEvent(_device->writing.hEvent);
        DWORD written = 0;
        if (::WriteFile(_device->handle, _device->sending.constData(),
                        static_cast<DWORD>(_device->sending.size()), &written, &_device->writing)) {
            _device->sending.clear();
            continue;
        }
        if (::GetLastError() != ERROR_IO_PENDING) {
            fail();
            return;
        }
        _device->writePending = true;
        _device->writeDone->setEnabled(true);
    }
}

void SerialPort::completeWrite() {
    DWORD written = 0;
    if (!_device || !finishOverlapped(true, written))
        return;
    _device->sending.clear();
    send();
}

void SerialPort::fail() {
    if (!_device)
        return;
    _device.reset();
    emit broken();
}

} // namespace DADOV
