// The window server's list on an X desktop, read from the window manager's EWMH properties:
// the client windows it manages that are on screen, front to back, each with the process that
// owns it, a layer, its title, its rectangle in root coordinates and its opacity.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/windows.h"
#include "platform/x11/x11_connection.h"

namespace lumora::x11 {

class EwmhWindows final : public platform::Windows {
  public:
    explicit EwmhWindows(std::shared_ptr<X11Connection> connection)
        : connection_(std::move(connection)) {}

    // Viewable (mapped) client windows from _NET_CLIENT_LIST_STACKING, without desktop windows.
    // The number is the X window id and the bounds are the client window's own rectangle,
    // without the frame the window manager draws around it.
    std::vector<platform::WindowInfo> onScreenWindows() override;

  private:
    std::optional<platform::WindowInfo> describe(WindowId window);
    std::optional<platform::Rect> boundsOf(WindowId window);
    // None for a desktop window, which is left out of the list.
    std::optional<int> layerOf(WindowId window);

    std::shared_ptr<X11Connection> connection_;
};

// The window manager's client windows, front to back (EWMH lists them bottom to top).
std::vector<WindowId> clientWindowsFrontToBack(X11Connection& connection);

// The process its client declared in _NET_WM_PID; 0 when it declared none.
pid_t windowOwner(X11Connection& connection, WindowId window);

}  // namespace lumora::x11
