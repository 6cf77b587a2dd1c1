#include "fw_update/session.h"

#include <utility>

namespace fwu {

Session::Session(std::ostream& out, std::ostream& err, std::string log_file,
                 std::shared_ptr<HidBackend> backend)
    : _out(out), _err(err), _log(std::move(log_file)), _backend(std::move(backend)) {}

HidBackend& Session::hid() {
    if (!_backend)
        _backend = platform_hid_backend();
    return *_backend;
}

} // namespace fwu
