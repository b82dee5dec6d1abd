// A small pool of worker threads for slow platform work (OCR, model calls, HTTP). Results go
// back to the event loop through the awaitables in bridge.h; workers never touch loop state.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lumora {

class ThreadPool {
  public:
    explicit ThreadPool(unsigned threads = 2);
    // Finishes the queued work, then joins the workers.
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    void submit(std::function<void()> work);

  private:
    void work();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace lumora
