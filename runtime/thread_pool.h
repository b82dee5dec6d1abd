// The program's executor: a small pool of worker threads for slow platform work.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/executor.h"

namespace lumora {

class ThreadPool final : public Executor {
  public:
    // `name` labels the workers' threads (cut to the 15 characters the system keeps).
    explicit ThreadPool(unsigned threads = 2, std::string name = {});
    // Finishes the queued work, then joins the workers.
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    void submit(std::function<void()> work) override;

  private:
    void work();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace lumora
