// The main-thread event loop: closures posted from any thread, timers ordered by (due time,
// post order), and the root frames of spawned tasks. With a ManualClock a test drives it
// through runUntilIdle() and advance(); programs call run() until quit().
#pragma once

#include <condition_variable>
#include <coroutine>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

#include "runtime/clock.h"

namespace lumora {

class Timer;

class EventLoop {
  public:
    explicit EventLoop(const SystemClock& clock);
    explicit EventLoop(ManualClock& clock);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    const Clock& clock() const { return clock_; }
    double now() const { return clock_.continuousSeconds(); }

    // Safe from any thread.
    void post(std::function<void()> work);
    void quit();

    // Runs posted work and due timers until quit(). Real clock only.
    void run();

    // Test driving (manual clock). runUntilIdle runs the closures posted and the timers due
    // when it is called, nothing that work posts or arms, and returns how many ran; a chain of
    // work takes as many calls as it has links, so work that re-posts itself cannot spin.
    std::size_t runUntilIdle();
    // Fires due timers in (due time, post order), the clock set to each one's due time first,
    // running the work each one posts before the next. Throws when that work never stops
    // posting more.
    void advance(double seconds);
    std::optional<double> nextDelay() const;
    std::size_t pendingCount() const;

    // Spawned tasks: the loop owns their root frames and destroys unfinished ones with itself.
    void adoptRoot(std::coroutine_handle<> root);
    void releaseRoot(std::coroutine_handle<> root);
    // Destroys the unfinished ones at once, which tells their work on other threads to stop:
    // a program ending calls this before joining the threads that work runs on.
    void destroyTasks();

  private:
    friend class Timer;
    using TimerKey = std::pair<double, std::uint64_t>;

    TimerKey schedule(Timer* timer, double due);
    void unschedule(const TimerKey& key);
    std::size_t runPostedBatch();
    bool fireOneDueTimer(double limit, std::uint64_t sequenceLimit);
    void drain();
    static void runGuarded(const std::function<void()>& work);

    const Clock& clock_;
    ManualClock* manual_ = nullptr;

    mutable std::mutex mutex_;
    std::condition_variable wakeup_;
    std::vector<std::function<void()>> posted_;
    // The loop thread's buffer for the next batch: batches and posts trade the two buffers, so
    // a loop fed at a steady pace (key events from another thread) allocates nothing.
    std::vector<std::function<void()>> spareBatch_;
    bool quit_ = false;

    std::map<TimerKey, Timer*> timers_;
    std::uint64_t nextSequence_ = 0;
    std::unordered_set<void*> roots_;
};

// An owned timer handle. Destroying or stopping it unregisters it; starting a running timer
// restarts it. Its action may destroy the timer itself. Due times are kept to the microsecond,
// and a repeating interval is at least one microsecond.
class Timer {
  public:
    explicit Timer(EventLoop& loop) : loop_(loop) {}
    ~Timer() { stop(); }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void start(double delay, std::function<void()> action);
    void startRepeating(double interval, std::function<void()> action);
    void stop();
    bool isRunning() const { return key_.has_value(); }

  private:
    friend class EventLoop;
    void arm(double delay, double interval, std::function<void()> action);

    EventLoop& loop_;
    std::optional<EventLoop::TimerKey> key_;
    double interval_ = 0;
    std::shared_ptr<std::function<void()>> action_;
};

}  // namespace lumora
