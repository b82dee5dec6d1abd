// Screen capture: shareable windows, a screenshot of one window, and the interactive region
// tool, which runs as a child process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/geometry.h"
#include "platform/images.h"
#include "runtime/error.h"

namespace lumora::platform {

struct ShareableWindow {
    std::uint32_t windowID = 0;
    Rect contentRect;
    double pointPixelScale = 1;
};

template <class T>
using Outcome = std::variant<T, Error>;

class ChildProcess {
  public:
    virtual ~ChildProcess() = default;
    // Throws lumora::Error when the executable cannot be started.
    virtual void launch() = 0;
    // Calls `exited` once with the termination status when the process ends, at once when it
    // already has; on any thread. Only the last handler given is called.
    virtual void whenExited(std::function<void(int status)> exited) = 0;
    virtual bool isRunning() = 0;
    virtual void terminate() = 0;
};

class ScreenCapture {
  public:
    virtual ~ScreenCapture() = default;
    // Completion handlers may run on any thread.
    virtual void shareableWindows(std::function<void(Outcome<std::vector<ShareableWindow>>)>) = 0;
    // Captures the window without cursor and shadow at `width` by `height` pixels.
    virtual void captureWindow(std::uint32_t windowID, std::uint32_t width, std::uint32_t height,
                               std::function<void(Outcome<Image>)>) = 0;
    // A child process for `executable` with `arguments`, not yet launched; it inherits this
    // process's standard streams.
    virtual std::unique_ptr<ChildProcess> makeProcess(
        const std::string& executable, const std::vector<std::string>& arguments) = 0;
};

}  // namespace lumora::platform
