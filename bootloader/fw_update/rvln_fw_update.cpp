#include "fw_update/rvln_fw_update.h"

#include "fw_update/console.h"
#include "fw_update/log.h"

namespace fwu {

void show_progress(const std::string& action, const std::string& device, const std::string& memory,
                   unsigned progress) {
    std::ostream& o = out();
    o << '\r' << device << ' ';
    if (!memory.empty())
        o << memory << ' ';
    o << action << ": ";
    if (progress == progress_done) {
        o << "DONE.\n";
    } else if (progress == progress_failed) {
        o << "FAILED.\n";
    } else {
        if (progress > 100)
            log_assertion("progress <= 100", __FILE__, __LINE__);
        o << progress << '%';
    }
    o.flush();
}

} // namespace fwu
