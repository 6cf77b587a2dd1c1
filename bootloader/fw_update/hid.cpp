#include "fw_update/hid.h"

#ifdef _WIN32
#include "fw_update/hid_windows.h"
#else
#include "fw_update/hid_hidapi.h"
#endif

#include <mutex>
#include <utility>

namespace fwu {

namespace {

#ifdef _WIN32
using PlatformBackend = WinHidBackend;
#else
using PlatformBackend = HidapiBackend;
#endif

struct Installed {
    std::mutex mutex;
    std::shared_ptr<HidBackend> backend;
};

Installed& installed() {
    static Installed state;
    return state;
}

} // namespace

// The reference stays valid until another backend is installed; the engine
// installs backends only between runs.
HidBackend& hid_backend() {
    Installed& state = installed();
    std::lock_guard lock(state.mutex);
    if (!state.backend)
        state.backend = std::make_shared<PlatformBackend>();
    return *state.backend;
}

void set_hid_backend(std::shared_ptr<HidBackend> backend) {
    std::shared_ptr<HidBackend> previous;
    {
        Installed& state = installed();
        std::lock_guard lock(state.mutex);
        previous = std::exchange(state.backend, std::move(backend));
    }
    // The previous backend is released here, outside the lock.
}

} // namespace fwu
