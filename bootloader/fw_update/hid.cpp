#include "fw_update/hid.h"

#ifdef _WIN32
#include "fw_update/hid_windows.h"
#else
#include "fw_update/hid_hidapi.h"
#endif

namespace fwu {

std::shared_ptr<HidBackend> platform_hid_backend() {
#ifdef _WIN32
    return std::make_shared<WinHidBackend>();
#else
    return std::make_shared<HidapiBackend>();
#endif
}

} // namespace fwu
