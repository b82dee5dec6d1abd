// The one thread that talks to the accessibility bus. libatspi keeps caches without locks and
// delivers events through a GLib main context, so every call into it runs here, on a context
// of its own; callers on other threads wait for the answer. Calls are bounded by the bus
// timeout set at start-up, so a hung application costs at most that and never hangs a caller.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <type_traits>

namespace lumora::x11 {

class AtspiThread {
  public:
    // Per-call bus timeout: an application that does not answer within it reads as unreadable.
    // Busy applications on a loaded machine answer single calls after 200-300 ms (LibreOffice
    // and GNOME Text Editor while they lay out text, measured with both cores kept busy), and a
    // hung one costs a capture this once.
    static constexpr int callTimeoutMilliseconds = 500;

    AtspiThread();
    ~AtspiThread();
    AtspiThread(const AtspiThread&) = delete;
    AtspiThread& operator=(const AtspiThread&) = delete;

    // Whether libatspi found the accessibility bus when it started.
    bool connected() const { return connected_; }

    // Runs `work` on the thread and returns its result; runs it at once when called there.
    template <class Work>
    std::invoke_result_t<Work> call(Work&& work) {
        if (isCurrent()) return work();
        std::packaged_task<std::invoke_result_t<Work>()> task(std::forward<Work>(work));
        auto result = task.get_future();
        post([&task] { task(); });
        return result.get();
    }
    // Queues `work` to run on the thread without waiting.
    void post(std::function<void()> work);
    bool isCurrent() const;

  private:
    struct Loop;
    std::unique_ptr<Loop> loop_;
    bool connected_ = false;
    std::thread thread_;
};

}  // namespace lumora::x11
