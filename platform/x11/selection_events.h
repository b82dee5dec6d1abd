// Waiting for the events of a selection conversation on a connection that hears only about its
// own windows: bounded, so an owner or a manager that never answers costs one deadline.
#pragma once

#include <poll.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>

#include "platform/x11/x11_connection.h"

namespace lumora::x11 {

// Owners answer with SendEvent, which sets the top bit of the event's code.
inline std::uint8_t kindOf(const xcb_generic_event_t& event) {
    return event.response_type & 0x7f;
}

// Waits for the first event `wanted` accepts, dropping the others. Null at the deadline, or
// once the connection is broken.
template <class Wanted>
Reply<xcb_generic_event_t> awaitEvent(xcb_connection_t* connection,
                                      std::chrono::steady_clock::time_point deadline,
                                      Wanted wanted) {
    for (;;) {
        while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(connection)}) {
            if (wanted(*event)) return event;
        }
        if (xcb_connection_has_error(connection) != 0) return nullptr;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) return nullptr;
        pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
        ::poll(&readable, 1, static_cast<int>(left));
    }
}

}  // namespace lumora::x11
