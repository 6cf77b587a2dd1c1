#pragma once

#include <QString>

namespace DADOV {

// A pseudo-terminal that stands for a device's serial port: its slave is published as a symbolic link
// (to /dev/pts/N) under a port name in a device folder, so that the serial link opens it by that name,
// and is held open in raw mode (no echo, no translation) by a descriptor of its own, so that the master
// keeps working while the tool has the port closed. The device is played on the master, which does not
// block.
class PseudoTerminal {
public:
    // Throws std::runtime_error naming the step that failed and why.
    explicit PseudoTerminal(const QString& linkPath);
    ~PseudoTerminal() { hangUp(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master() const { return _master; } // -1 once hung up
    int slave() const { return _slave; }
    QString linkPath() const { return _linkPath; }
    QString slavePath() const { return _slavePath; }

    // The device goes away: the published name is removed and both sides closed, which the tool's side
    // sees as a hang-up.
    void hangUp();

private:
    QString _linkPath;
    QString _slavePath;
    int _master = -1;
    int _slave = -1;
    bool _published = false;
};

} // namespace DADOV
