// A window capture started when a session begins and collected later by the request it was
// started for, so the picture shows the window as it was when the user began.
#pragma once

#include <cstdint>

#include "runtime/task.h"

namespace lumora {

class PreparedScreenContext {
  public:
    PreparedScreenContext(std::uint64_t requestID, TaskHandle task)
        : requestID_(requestID), task_(std::move(task)) {}

    std::uint64_t requestID() const { return requestID_; }
    void cancel() { task_.cancel(); }

  private:
    std::uint64_t requestID_;
    TaskHandle task_;
};

}  // namespace lumora
