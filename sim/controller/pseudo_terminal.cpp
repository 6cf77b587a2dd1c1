#include "sim/controller/pseudo_terminal.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace DADOV {

namespace {

std::runtime_error failure(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

PseudoTerminal::PseudoTerminal(const QString& linkPath) : _linkPath(linkPath) {
    try {
        _master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (_master < 0)
            throw failure("cannot create a pseudo-terminal");
        if (::grantpt(_master) != 0 || ::unlockpt(_master) != 0)
            throw failure("cannot unlock the pseudo-terminal");
        char name[256] = {};
        if (::ptsname_r(_master, name, sizeof name) != 0)
            throw failure("cannot name the pseudo-terminal");
        _slavePath = QString::fromLocal8Bit(name);
        _slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio{};
        if (_slave < 0 || ::tcgetattr(_slave, &tio) != 0)
            throw failure("cannot open " + std::string(name));
        ::cfmakeraw(&tio);
        ::tcsetattr(_slave, TCSANOW, &tio);
        if (::symlink(name, QFile::encodeName(_linkPath).constData()) != 0)
            throw failure("cannot publish the port as " + _linkPath.toStdString());
        _published = true;
    } catch (...) {
        hangUp();
        throw;
    }
}

void PseudoTerminal::hangUp() {
    if (_published)
        QFile::remove(_linkPath);
    _published = false;
    for (int* fd : {&_slave, &_master}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

} // namespace DADOV
