#include "runtime/thread_pool.h"

#include <pthread.h>

namespace lumora {

ThreadPool::ThreadPool(unsigned threads, std::string name) {
    for (unsigned i = 0; i < (threads == 0 ? 1 : threads); ++i) {
        workers_.emplace_back([this] { work(); });
        if (!name.empty())
            ::pthread_setname_np(workers_.back().native_handle(), name.substr(0, 15).c_str());
    }
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ready_.notify_all();
    for (auto& worker : workers_) worker.join();
}

void ThreadPool::submit(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    ready_.notify_one();
}

void ThreadPool::work() {
    while (true) {
        std::function<void()> next;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            next = std::move(queue_.front());
            queue_.pop_front();
        }
        next();
    }
}

}  // namespace lumora
