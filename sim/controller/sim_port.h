#pragma once

// The simulated controller's end of the serial line. The tool's end is opened by the tool like the real
// port, by its name in a device root:
// - on Linux a pseudo-terminal published as <device root>/<port name> (sim_port_posix.cpp);
// - on Windows a named pipe "<device root><port name>", with a device root such as
//   "\\.\pipe\q5tool-simulate-1234-" (sim_port_windows.cpp). One client at a time: a second opener is
//   refused, as by a COM port's driver, and bytes sent while no tool holds the port are lost.
// The controller's thread waits, reads and writes; wake() may be called from any thread.

#include <QString>

#include <chrono>
#include <cstddef>
#include <memory>

namespace DADOV {

class SimPort {
public:
    virtual ~SimPort();

    // The name the tool opens.
    virtual QString path() const = 0;
    // Waits until bytes arrive, the line takes more bytes (when `wantToSend`), wake() is called or the
    // time is up. False when the waiting itself failed (the controller's thread then ends).
    virtual bool wait(std::chrono::nanoseconds timeout, bool wantToSend) = 0;
    // Bytes received, up to `max`; 0 when none wait.
    virtual std::size_t read(char* buffer, std::size_t max) = 0;
    // Takes what the line takes of the bytes now; the count taken.
    virtual std::size_t write(const char* data, std::size_t size) = 0;
    // Ends a wait() under way, from any thread.
    virtual void wake() = 0;
    // The device goes away: the name is withdrawn and the tool's end sees its port end.
    virtual void hangUp() = 0;

    // Publishes a port of that name in the device root; throws std::runtime_error saying what failed.
    static std::unique_ptr<SimPort> publish(const QString& deviceRoot, const QString& portName);
};

} // namespace DADOV
