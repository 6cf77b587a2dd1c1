// The simulated controller's end on Windows: the server end of a named pipe, in byte mode, one instance,
// for overlapped I/O. The tool opens the pipe by its name like a COM port. When the tool closes its end,
// the pipe listens again for the next opening; bytes sent while no tool holds it are lost, as on a port
// that nobody has open.

#include "sim/controller/sim_port.h"

#include <QString>

#include <algorithm>
#include <stdexcept>
#include <string>

#include <windows.h>

namespace DADOV {

SimPort::~SimPort() = default;

namespace {

constexpr DWORD kPipeBuffer = 64 * 1024;
constexpr DWORD kReadChunk = 4096;

std::runtime_error failure(const std::string& what) {
    return std::runtime_error(what + " (error " + std::to_string(::GetLastError()) + ")");
}

class NamedPipePort : public SimPort {
public:
    explicit NamedPipePort(const QString& path) : _path(path) {
        _wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        _reading.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        _writing.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!_wake || !_reading.hEvent || !_writing.hEvent) {
            closeEvents();
            throw failure("cannot create its events");
        }
        _pipe =
            ::CreateNamedPipeW(path.toStdWString().c_str(),
                               PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                               PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                               1, kPipeBuffer, kPipeBuffer, 0, nullptr);
        if (_pipe == INVALID_HANDLE_VALUE) {
            closeEvents();
            throw failure("cannot publish the port as " + path.toStdString());
        }
        listen();
    }

    ~NamedPipePort() override {
        hangUp();
        closeEvents();
    }

    QString path() const override { return _path; }

    bool wait(std::chrono::nanoseconds timeout, bool wantToSend) override {
        (void)wantToSend; // a write in progress is always waited on
        if (_pipe == INVALID_HANDLE_VALUE) {
            // Hung up: only the wake-up and the time are left.
            const DWORD waited = ::WaitForSingleObject(_wake, milliseconds(timeout));
            return waited != WAIT_FAILED;
        }
        if (_connected && !_readPending && _in.empty())
            startRead();
        HANDLE events[3] = {_wake, _reading.hEvent, _writing.hEvent};
        const DWORD count = _writePending ? 3 : 2;
        if (::WaitForMultipleObjects(count, events, FALSE, milliseconds(timeout)) == WAIT_FAILED)
            return false;
        finishWrite();
        finishRead();
        return true;
    }

    std::size_t read(char* buffer, std::size_t max) override {
        const std::size_t n = std::min(max, _in.size());
        std::copy_n(_in.data(), n, buffer);
        _in.erase(0, n);
        if (_in.empty() && _connected && !_readPending)
            startRead();
        return n;
    }

    std::size_t write(const char* data, std::size_t size) override {
        if (_pipe == INVALID_HANDLE_VALUE || !_connected)
            return size; // nobody holds the port: lost
        finishWrite();
        if (_writePending)
            return 0; // the line is busy: the rest waits
        _sending.assign(data, std::min<std::size_t>(size, kPipeBuffer));
        ::ResetEvent(_writing.hEvent);
        DWORD written = 0;
        if (::WriteFile(_pipe, _sending.data(), static_cast<DWORD>(_sending.size()), &written, &_writing))
            return _sending.size();
        if (::GetLastError() == ERROR_IO_PENDING) {
            _writePending = true; // the bytes are the pipe's now
            return _sending.size();
        }
        toolLeft();
        return size;
    }

    void wake() override { ::SetEvent(_wake); }

    void hangUp() override {
        if (_pipe == INVALID_HANDLE_VALUE)
            return;
        cancelPending();
        _connected = false;
        ::CloseHandle(_pipe);
        _pipe = INVALID_HANDLE_VALUE;
        _in.clear();
    }

private:
    static DWORD milliseconds(std::chrono::nanoseconds timeout) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
        return static_cast<DWORD>(std::clamp<long long>(ms, 0, 24 * 3600 * 1000));
    }

    void closeEvents() {
        for (HANDLE* event : {&_wake, &_reading.hEvent, &_writing.hEvent}) {
            if (*event)
                ::CloseHandle(*event);
            *event = nullptr;
        }
    }

    // Waits (overlapped, on the read event) for the tool to open the pipe.
    void listen() {
        ::ResetEvent(_reading.hEvent);
        if (::ConnectNamedPipe(_pipe, &_reading)) {
            _connected = true;
            return;
        }
        switch (::GetLastError()) {
        case ERROR_PIPE_CONNECTED:
            _connected = true;
            ::SetEvent(_reading.hEvent);
            break;
        case ERROR_IO_PENDING:
            _listening = true;
            break;
        default:
            break; // not listening: the port is as good as unplugged
        }
    }

    void startRead() {
        ::ResetEvent(_reading.hEvent);
        DWORD got = 0;
        if (::ReadFile(_pipe, _buffer, kReadChunk, &got, &_reading)) {
            _in.append(_buffer, got);
            ::SetEvent(_reading.hEvent);
            return;
        }
        if (::GetLastError() == ERROR_IO_PENDING)
            _readPending = true;
        else
            toolLeft();
    }

    void finishRead() {
        DWORD got = 0;
        if (_listening) {
            if (!::GetOverlappedResult(_pipe, &_reading, &got, FALSE)) {
                if (::GetLastError() != ERROR_IO_INCOMPLETE) {
                    _listening = false;
                    listen();
                }
                return;
            }
            _listening = false;
            _connected = true;
            return;
        }
        if (!_readPending)
            return;
        if (!::GetOverlappedResult(_pipe, &_reading, &got, FALSE)) {
            if (::GetLastError() != ERROR_IO_INCOMPLETE) {
                _readPending = false;
                toolLeft();
            }
            return;
        }
        _readPending = false;
        _in.append(_buffer, got);
    }

    void finishWrite() {
        if (!_writePending)
            return;
        DWORD written = 0;
        if (::GetOverlappedResult(_pipe, &_writing, &written, FALSE)) {
            _writePending = false;
            return;
        }
        if (::GetLastError() != ERROR_IO_INCOMPLETE) {
            _writePending = false;
            toolLeft();
        }
    }

    // Ends the connecting, reading and writing under way; their buffers are free again.
    void cancelPending() {
        ::CancelIo(_pipe);
        DWORD n = 0;
        if (_readPending || _listening)
            ::GetOverlappedResult(_pipe, &_reading, &n, TRUE);
        if (_writePending)
            ::GetOverlappedResult(_pipe, &_writing, &n, TRUE);
        _readPending = _listening = _writePending = false;
    }

    // The tool closed its end: what it did not read is dropped and the pipe listens again.
    void toolLeft() {
        if (!_connected)
            return;
        cancelPending();
        _connected = false;
        ::DisconnectNamedPipe(_pipe);
        listen();
    }

    QString _path;
    HANDLE _pipe = INVALID_HANDLE_VALUE;
    HANDLE _wake = nullptr;
    OVERLAPPED _reading{}; // also the pipe's connection while listening
    OVERLAPPED _writing{};
    bool _listening = false;
    bool _connected = false;
    bool _readPending = false;
    bool _writePending = false;
    char _buffer[kReadChunk];
    std::string _in;      // received, not yet read
    std::string _sending; // handed to the pipe
};

} // namespace

std::unique_ptr<SimPort> SimPort::publish(const QString& deviceRoot, const QString& portName) {
    return std::make_unique<NamedPipePort>(deviceRoot + portName);
}

} // namespace DADOV
