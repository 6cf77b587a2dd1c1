#include "fw_update/rvln_fw_update.h"

#include "fw_update/log.h"
#include "fw_update/session.h"

namespace fwu {

void show_progress(Session& session, const std::string& action, const std::string& device,
                   const std::string& memory, unsigned progress) {
    std::ostream& o = session.out();
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
            session.log().assertion("progress <= 100", __FILE__, __LINE__);
        o << progress << '%';
    }
    o.flush();
    session.set_progress_line_open(progress != progress_done && progress != progress_failed);
}

} // namespace fwu
