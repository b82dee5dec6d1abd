#include "platform/x11/selection_window.h"

#include <xcb/xcb.h>

namespace lumora::x11 {

namespace {

WindowId createWindow(X11Connection& connection, std::uint32_t eventMask) {
    xcb_connection_t* raw = connection.raw();
    WindowId window = xcb_generate_id(raw);
    // Input-only and never mapped: nobody sees it, and it takes no pixels.
    xcb_create_window(raw, XCB_COPY_FROM_PARENT, window, connection.root(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &eventMask);
    xcb_flush(raw);
    return window;
}

}  // namespace

SelectionWindow::SelectionWindow(X11Connection& connection, std::uint32_t eventMask)
    : connection_(connection), id_(createWindow(connection, eventMask)) {}

SelectionWindow::~SelectionWindow() {
    xcb_destroy_window(connection_.raw(), id_);
    xcb_flush(connection_.raw());
}

}  // namespace lumora::x11
