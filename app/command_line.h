#pragma once

// The window program's command line: q5tool [--simulate] [--record FILE] [--profile FILE], plus --help,
// --version and --service-record.

#include <QString>
#include <QStringList>

namespace DADOV {

// What the command line asks of the window.
struct StartOptions {
    // --simulate: simulated controller and bootloaders instead of the real devices.
    bool simulate = false;
    // --record FILE: record the Diagnostics readings to this file from the start. An absolute path (a
    // relative one is taken from the folder the tool was started in); empty when not asked for.
    QString recordFile;
    // --profile FILE: the settings profile the Tuning and zIdudo pages start from; an absolute path, empty
    // when not asked for.
    QString profileFile;
};

// The outcome of reading the command line: either run the window with `options`, or end at once with
// `status` after writing `output` to standard output and `errors` to standard error.
struct CommandLine {
    bool run = false;
    StartOptions options;
    int status = 0;
    QString output;
    QString errors;
};

// Exit status for a command line that cannot be read (unknown option, missing value, stray argument).
inline constexpr int command_line_error = 2;

// Reads the arguments, the program name first. Needs no application object, so that --help, --version
// and errors are answered before the window system is touched.
CommandLine read_command_line(const QStringList& arguments);

} // namespace DADOV
