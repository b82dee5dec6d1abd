// The small unmapped window a selection client talks through: owners and requestors name a
// window in every selection request and reply, and receive the events of its properties.
// Destroyed with the object.
#pragma once

#include <cstdint>

#include "platform/x11/x11_connection.h"

namespace lumora::x11 {

class SelectionWindow {
  public:
    // `eventMask` selects the window's own events (XCB_EVENT_MASK_*).
    SelectionWindow(X11Connection& connection, std::uint32_t eventMask);
    ~SelectionWindow();
    SelectionWindow(const SelectionWindow&) = delete;
    SelectionWindow& operator=(const SelectionWindow&) = delete;

    WindowId id() const { return id_; }

  private:
    X11Connection& connection_;
    const WindowId id_;
};

}  // namespace lumora::x11
