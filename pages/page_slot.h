#pragma once

// Page handlers run as Qt slots, which no exception may leave: a handler that fails ends its own run
// and the window goes on.

#include <utility>

namespace DADOV {

template <typename Handler> auto guarded(Handler handler) {
    return [handler = std::move(handler)]() {
        try {
            handler();
        } catch (...) {
        }
    };
}

} // namespace DADOV
