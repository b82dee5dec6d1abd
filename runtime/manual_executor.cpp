#include "runtime/manual_executor.h"

namespace lumora {

void ManualExecutor::submit(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
}

std::size_t ManualExecutor::runReady() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(queue_);
    }
    for (auto& work : batch) work();
    return batch.size();
}

std::size_t ManualExecutor::pendingCount() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

}  // namespace lumora
