// The window server's list of on-screen windows.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace lumora::platform {

struct WindowInfo {
    std::optional<std::uint32_t> number;
    pid_t ownerPid = 0;
    int layer = 0;
    std::optional<std::string> name;
    std::optional<Rect> bounds;
    double alpha = 1;
    bool operator==(const WindowInfo&) const = default;
};

class Windows {
  public:
    virtual ~Windows() = default;
    // On-screen windows without desktop elements, front to back.
    virtual std::vector<WindowInfo> onScreenWindows() = 0;
};

}  // namespace lumora::platform
