// The simulated controller's end on Linux: the master of a pseudo-terminal whose slave is published in the
// device root, and an eventfd that ends a wait.

#include "sim/controller/pseudo_terminal.h"
#include "sim/controller/sim_port.h"

#include <QDir>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace DADOV {

SimPort::~SimPort() = default;

namespace {

class PseudoTerminalPort : public SimPort {
public:
    explicit PseudoTerminalPort(const QString& linkPath) : _terminal(linkPath) {
        _wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (_wake < 0)
            throw std::runtime_error(std::string("cannot create its wake-up event: ") + std::strerror(errno));
    }
    ~PseudoTerminalPort() override {
        _terminal.hangUp();
        ::close(_wake);
    }

    QString path() const override { return _terminal.linkPath(); }

    bool wait(std::chrono::nanoseconds timeout, bool wantToSend) override {
        pollfd fds[2] = {{_terminal.master(), short(POLLIN | (wantToSend ? POLLOUT : 0)), 0},
                         {_wake, POLLIN, 0}};
        const auto ns = std::max<long long>(timeout.count(), 0);
        const timespec limit{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        if (::ppoll(fds, 2, &limit, nullptr) < 0 && errno != EINTR)
            return false;
        if (fds[1].revents & POLLIN) {
            std::uint64_t drained = 0;
            [[maybe_unused]] const ssize_t n = ::read(_wake, &drained, sizeof drained);
        }
        return true;
    }

    std::size_t read(char* buffer, std::size_t max) override {
        const ssize_t n = _terminal.master() < 0 ? -1 : ::read(_terminal.master(), buffer, max);
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    std::size_t write(const char* data, std::size_t size) override {
        const ssize_t n = _terminal.master() < 0 ? -1 : ::write(_terminal.master(), data, size);
        return n > 0 ? static_cast<std::size_t>(n) : 0; // full (or gone): the rest waits
    }

    void wake() override {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(_wake, &one, sizeof one);
    }

    void hangUp() override { _terminal.hangUp(); }

private:
    PseudoTerminal _terminal;
    int _wake = -1;
};

} // namespace

std::unique_ptr<SimPort> SimPort::publish(const QString& deviceRoot, const QString& portName) {
    return std::make_unique<PseudoTerminalPort>(QDir(deviceRoot).filePath(portName));
}

} // namespace DADOV
