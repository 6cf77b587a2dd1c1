#pragma once

#include <string>

namespace fwu {

class Session;

// Progress values with a meaning of their own; 0 to 100 are percentages.
constexpr unsigned progress_done = 200;
constexpr unsigned progress_failed = 201;

// Writes one progress report on the session's console line: "\r", the device
// name, the memory (when not empty), the action and the progress. A
// percentage leaves the line open so that the next report overwrites it;
// progress_done and progress_failed finish it.
void show_progress(Session& session, const std::string& action, const std::string& device,
                   const std::string& memory, unsigned progress);

} // namespace fwu
