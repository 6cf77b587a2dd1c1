#pragma once

#include <ostream>

namespace fwu {

// The console of fw_update() runs (fw_update.h): every line a run prints goes
// to the output or the error stream installed here; by default these are the
// process's standard output and standard error. A session (session.h) carries
// its streams itself.

// Installs two streams as the console of fw_update() runs for the lifetime of
// the object and puts the previous ones back afterwards. Scopes nest.
class ConsoleStreams {
public:
    ConsoleStreams(std::ostream& out, std::ostream& err);
    ~ConsoleStreams();
    ConsoleStreams(const ConsoleStreams&) = delete;
    ConsoleStreams& operator=(const ConsoleStreams&) = delete;

private:
    std::ostream* _previous_out;
    std::ostream* _previous_err;
};

} // namespace fwu
