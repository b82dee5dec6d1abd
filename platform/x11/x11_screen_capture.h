// Screen capture on an X desktop: the on-screen client windows as shareable content, a
// window's own pixels read with GetImage and converted to RGBA at the requested size, and the
// interactive region tool, for which maim stands in for the macOS screencapture.
#pragma once

#include <memory>

#include "platform/screen_capture.h"
#include "platform/x11/ewmh_windows.h"
#include "platform/x11/x11_connection.h"

namespace lumora::x11 {

class X11ScreenCapture final : public platform::ScreenCapture {
  public:
    // Has the X server keep every top-level window's pixels (see the constructor's body), for
    // as long as the connection lasts.
    explicit X11ScreenCapture(std::shared_ptr<X11Connection> connection);

    // The windows EwmhWindows lists, at one pixel per point.
    void shareableWindows(
        std::function<void(platform::Outcome<std::vector<platform::ShareableWindow>>)> done)
        override;
    // Only a window shareableWindows lists can be captured. Completes on the caller's thread,
    // with an Error (errorDomain) when the window is not on screen or goes away, its pixels
    // cannot be read, or the connection is lost.
    void captureWindow(std::uint32_t windowID, std::uint32_t width, std::uint32_t height,
                       std::function<void(platform::Outcome<platform::Image>)> done) override;
    // The macOS region tool with the assistant's arguments becomes `maim --select --hidecursor
    // OUTPUT`, which exits with status 1 when the user aborts (Escape or a right click); any
    // other executable runs as given.
    std::unique_ptr<platform::ChildProcess> makeProcess(
        const std::string& executable, const std::vector<std::string>& arguments) override;

  private:
    platform::Outcome<platform::Image> capture(WindowId window);

    std::shared_ptr<X11Connection> connection_;
    EwmhWindows windows_;
};

}  // namespace lumora::x11
