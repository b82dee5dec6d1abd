// The owner of a group of spawned tasks: cancelling the scope, or destroying it, cancels every
// task it started that is still running. Finished tasks are forgotten as new ones start.
#pragma once

#include <vector>

#include "runtime/task.h"

namespace lumora {

class TaskScope {
  public:
    explicit TaskScope(EventLoop& loop) : loop_(loop) {}
    ~TaskScope() { cancel(); }
    TaskScope(const TaskScope&) = delete;
    TaskScope& operator=(const TaskScope&) = delete;

    TaskHandle spawn(Task<void> task);
    void cancel();
    // Whether a task still owned by this scope has yet to finish; cancelling gives them up.
    bool isRunning() const;

  private:
    EventLoop& loop_;
    std::vector<TaskHandle> tasks_;
};

}  // namespace lumora
