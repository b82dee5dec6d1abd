#include "platform/x11/ewmh_windows.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <limits>

namespace lumora::x11 {

namespace {

// Layers follow the macOS window levels the assistant compares against: normal windows and
// dialogs, the only ones it takes for a source window; floating utilities, toolbars and
// windows kept above the others; docks and panels; notifications, at the status level.
constexpr int normalLayer = 0;
constexpr int floatingLayer = 3;
constexpr int dockLayer = 20;
constexpr int notificationLayer = 25;

constexpr double opaque = std::numeric_limits<std::uint32_t>::max();

bool contains(const std::vector<std::uint32_t>& values, Atom atom) {
    return std::find(values.begin(), values.end(), atom) != values.end();
}

}  // namespace

std::vector<WindowId> clientWindowsFrontToBack(X11Connection& connection) {
    std::vector<WindowId> windows =
        connection.values(connection.root(), "_NET_CLIENT_LIST_STACKING", "WINDOW");
    std::reverse(windows.begin(), windows.end());
    return windows;
}

pid_t windowOwner(X11Connection& connection, WindowId window) {
    std::vector<std::uint32_t> pid = connection.values(window, "_NET_WM_PID", "CARDINAL");
    return pid.empty() ? 0 : static_cast<pid_t>(pid.front());
}

std::vector<platform::WindowInfo> EwmhWindows::onScreenWindows() {
    std::vector<platform::WindowInfo> windows;
    for (WindowId window : clientWindowsFrontToBack(*connection_)) {
        if (std::optional<platform::WindowInfo> info = describe(window)) {
            windows.push_back(std::move(*info));
        }
    }
    return windows;
}

// A window that closes while it is described fails one of the requests and is left out.
std::optional<platform::WindowInfo> EwmhWindows::describe(WindowId window) {
    xcb_connection_t* connection = connection_->raw();
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, window), &error));
    Reply<xcb_generic_error_t> dropped(error);
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) return std::nullopt;
    std::optional<int> layer = layerOf(window);
    std::optional<platform::Rect> bounds = boundsOf(window);
    if (!layer || !bounds) return std::nullopt;
    std::vector<std::uint32_t> opacity =
        connection_->values(window, "_NET_WM_WINDOW_OPACITY", "CARDINAL");
    std::optional<std::string> name = connection_->text(window, "_NET_WM_NAME");
    if (!name) name = connection_->text(window, "WM_NAME");
    return platform::WindowInfo{
        .number = window,
        .ownerPid = windowOwner(*connection_, window),
        .layer = *layer,
        .name = std::move(name),
        .bounds = bounds,
        .alpha = opacity.empty() ? 1.0 : opacity.front() / opaque,
    };
}

std::optional<platform::Rect> EwmhWindows::boundsOf(WindowId window) {
    xcb_connection_t* connection = connection_->raw();
    xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(connection, window);
    xcb_translate_coordinates_cookie_t originCookie =
        xcb_translate_coordinates(connection, window, connection_->root(), 0, 0);
    xcb_generic_error_t* geometryError = nullptr;
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, geometryCookie, &geometryError));
    xcb_generic_error_t* originError = nullptr;
    Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(connection, originCookie, &originError));
    Reply<xcb_generic_error_t> droppedGeometry(geometryError);
    Reply<xcb_generic_error_t> droppedOrigin(originError);
    if (!geometry || !origin) return std::nullopt;
    return platform::Rect{static_cast<double>(origin->dst_x), static_cast<double>(origin->dst_y),
                          static_cast<double>(geometry->width),
                          static_cast<double>(geometry->height)};
}

std::optional<int> EwmhWindows::layerOf(WindowId window) {
    X11Connection& connection = *connection_;
    std::vector<std::uint32_t> types = connection.values(window, "_NET_WM_WINDOW_TYPE", "ATOM");
    if (contains(types, connection.atom("_NET_WM_WINDOW_TYPE_DESKTOP"))) return std::nullopt;
    if (contains(types, connection.atom("_NET_WM_WINDOW_TYPE_NOTIFICATION"))) {
        return notificationLayer;
    }
    if (contains(types, connection.atom("_NET_WM_WINDOW_TYPE_DOCK"))) return dockLayer;
    if (contains(types, connection.atom("_NET_WM_WINDOW_TYPE_UTILITY")) ||
        contains(types, connection.atom("_NET_WM_WINDOW_TYPE_TOOLBAR")) ||
        contains(connection.values(window, "_NET_WM_STATE", "ATOM"),
                 connection.atom("_NET_WM_STATE_ABOVE"))) {
        return floatingLayer;
    }
    return normalLayer;
}

}  // namespace lumora::x11
