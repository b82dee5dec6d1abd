// Rectangles that a toolkit tells only relative to its own window, placed on screen. GTK 4 on
// X11 does not know where its windows are: it refuses screen coordinates for text, and answers
// window coordinates for its windows themselves. The window server knows, so the window is
// looked up there by its process and title. Accessibility thread only.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/geometry.h"
#include "platform/x11/atspi_ref.h"

namespace lumora::x11 {

// The window server's rectangle for the window of process `pid` titled `title`, in root
// coordinates; none when no such window is on screen.
using WindowLocator =
    std::function<std::optional<platform::Rect>(pid_t pid, const std::string& title)>;

// `withinWindow`, relative to the toolkit window `window` of process `pid`, on screen.
std::optional<platform::Rect> placeOnScreen(platform::Rect withinWindow, AtspiAccessible* window,
                                            pid_t pid, const WindowLocator& locate);

}  // namespace lumora::x11
