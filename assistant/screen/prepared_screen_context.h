// A window capture started when a recording begins and collected later by the request it was
// started for, so the picture shows the window as it was when the user began speaking and
// finishing the request does not wait for a capture.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "platform/images.h"
#include "runtime/bridge.h"
#include "runtime/event_loop.h"
#include "runtime/task.h"
#include "runtime/task_scope.h"

namespace lumora {

class PreparedScreenContext {
  public:
    using Capture = std::function<Task<platform::Image>(std::uint32_t windowID)>;

    // Starts capturing at once, on the loop.
    PreparedScreenContext(EventLoop& loop, std::uint64_t requestID, std::uint32_t windowID,
                          Capture capture);
    // Cancels the capture; a task still waiting for it fails.
    ~PreparedScreenContext();
    PreparedScreenContext(const PreparedScreenContext&) = delete;
    PreparedScreenContext& operator=(const PreparedScreenContext&) = delete;

    // The picture, for the request it was prepared for; none at once for any other. A failed
    // capture fails the wait, and cancelling the waiting task cancels the capture.
    Task<std::optional<platform::Image>> value(std::uint64_t requestID);
    void cancel();

  private:
    // The capture's outcome, kept for a wait that may start before or after it arrives.
    struct Outcome {
        std::optional<platform::Image> image;
        std::exception_ptr error;
        std::optional<Completion<platform::Image>> waiting;
        void settle();
    };

    static Task<void> run(std::shared_ptr<Outcome> outcome, Capture capture,
                          std::uint32_t windowID);

    const std::uint64_t requestID_;
    std::shared_ptr<Outcome> outcome_ = std::make_shared<Outcome>();
    // Shared so that a wait cancelled after this is gone finds it gone.
    std::shared_ptr<TaskScope> scope_;
};

}  // namespace lumora
