#include "platform/x11/atspi_window_position.h"

#include <algorithm>

namespace lumora::x11 {

std::optional<platform::Rect> placeOnScreen(platform::Rect withinWindow, AtspiAccessible* window,
                                            pid_t pid, const WindowLocator& locate) {
    ErrorSlot nameError;
    gchar* name = atspi_accessible_get_name(window, nameError.out());
    if (!name) return std::nullopt;
    std::string title(name);
    g_free(name);
    std::optional<platform::Rect> server = locate(pid, title);
    if (!server) return std::nullopt;
    // The toolkit's window may sit inside the server's with a border it draws around it on
    // every side (GTK 4's own decorations leave room to grab for resizing).
    GRef<AtspiComponent> component(atspi_accessible_get_component_iface(window));
    ErrorSlot sizeError;
    AtspiRect* own = component ? atspi_component_get_extents(
                                     component.get(), ATSPI_COORD_TYPE_WINDOW, sizeError.out())
                               : nullptr;
    double insetX = 0, insetY = 0;
    if (own && !sizeError.failed()) {
        insetX = std::max(0.0, (server->width - own->width) / 2);
        insetY = std::max(0.0, (server->height - own->height) / 2);
    }
    g_free(own);
    return platform::Rect{server->x + insetX + withinWindow.x, server->y + insetY + withinWindow.y,
                          withinWindow.width, withinWindow.height};
}

}  // namespace lumora::x11
