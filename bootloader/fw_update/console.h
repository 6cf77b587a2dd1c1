#pragma once

#include <ostream>

namespace fwu {

// The console of an engine run. Every line the engine prints goes to the
// output or the error stream installed here; by default these are the
// process's standard output and standard error. The window installs its own
// streams for the length of a run, so that it can show the engine's console.
std::ostream& out();
std::ostream& err();

// Installs two streams as the engine's console for the lifetime of the object
// and puts the previous ones back afterwards. Scopes nest.
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
