#include "runtime/task_scope.h"

#include <algorithm>

namespace lumora {

TaskHandle TaskScope::spawn(Task<void> task) {
    std::erase_if(tasks_, [](const TaskHandle& handle) { return handle.isDone(); });
    TaskHandle handle = lumora::spawn(loop_, std::move(task));
    tasks_.push_back(handle);
    return handle;
}

void TaskScope::cancel() {
    for (TaskHandle& handle : tasks_) handle.cancel();
    tasks_.clear();
}

bool TaskScope::isRunning() const {
    return std::any_of(tasks_.begin(), tasks_.end(),
                       [](const TaskHandle& handle) { return !handle.isDone(); });
}

}  // namespace lumora
