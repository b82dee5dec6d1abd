#include "runtime/event_loop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <utility>
#include <vector>

namespace lumora {

namespace {

// Due times lie on a microsecond grid. Summing a short interval in binary floating point
// drifts (1000 plus ten times 0.1 is not 1001), so a 0.1-second repeating timer would fire nine
// times in a second of advance() and a chain of sleeps would miss its end; on the grid, equal
// times compare equal.
constexpr double ticksPerSecond = 1e6;
constexpr double tick = 1 / ticksPerSecond;

double onGrid(double seconds) {
    return std::round(seconds * ticksPerSecond) / ticksPerSecond;
}

}  // namespace

EventLoop::EventLoop(const SystemClock& clock) : clock_(clock) {}
EventLoop::EventLoop(ManualClock& clock) : clock_(clock), manual_(&clock) {}

EventLoop::~EventLoop() {
    // Destroyed outside the lock: a closure may hold the last copy of a completion, which
    // answers as it goes and so posts.
    std::vector<std::function<void()>> unrun;
    {
        std::lock_guard lock(mutex_);
        unrun.swap(posted_);
    }
    unrun.clear();
    destroyTasks();
    for (auto& [key, timer] : timers_) timer->key_.reset();
}

void EventLoop::destroyTasks() {
    // Destroying a root frame destroys what it awaits; their timers unregister themselves.
    auto roots = std::move(roots_);
    roots_.clear();
    for (void* address : roots) std::coroutine_handle<>::from_address(address).destroy();
}

// Both notify before they unlock: once the lock is free, the loop may run the work, return
// from `run` and be destroyed, and a notify after that would touch a dead condition variable.
void EventLoop::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(work));
    wakeup_.notify_one();
}

void EventLoop::quit() {
    std::lock_guard lock(mutex_);
    quit_ = true;
    wakeup_.notify_one();
}

void EventLoop::runGuarded(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumora: unhandled error on the main loop: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "lumora: unhandled error on the main loop\n");
    }
}

std::size_t EventLoop::runPostedBatch() {
    // A batch run inside a batch's work finds no spare buffer and makes its own.
    std::vector<std::function<void()>> batch = std::exchange(spareBatch_, {});
    {
        std::lock_guard lock(mutex_);
        batch.swap(posted_);
    }
    for (auto& work : batch) runGuarded(work);
    const std::size_t count = batch.size();
    batch.clear();
    if (batch.capacity() > spareBatch_.capacity()) spareBatch_ = std::move(batch);
    return count;
}

bool EventLoop::fireOneDueTimer(double limit, std::uint64_t sequenceLimit) {
    auto entry = std::find_if(timers_.begin(), timers_.end(), [&](const auto& timer) {
        return timer.first.second < sequenceLimit;
    });
    if (entry == timers_.end() || entry->first.first > limit) return false;
    Timer* timer = entry->second;
    double due = entry->first.first;
    timers_.erase(entry);
    timer->key_.reset();
    if (manual_ != nullptr) manual_->setContinuous(due);
    auto action = timer->action_;
    if (timer->interval_ > 0) timer->key_ = schedule(timer, onGrid(due + timer->interval_));
    runGuarded(*action);
    return true;
}

void EventLoop::run() {
    while (true) {
        runPostedBatch();
        while (fireOneDueTimer(now(), nextSequence_)) {
        }
        std::unique_lock lock(mutex_);
        if (quit_) return;
        if (!posted_.empty()) continue;
        if (timers_.empty()) {
            wakeup_.wait(lock, [&] { return quit_ || !posted_.empty(); });
        } else {
            double delay = timers_.begin()->first.first - now();
            if (delay > 0) {
                wakeup_.wait_for(lock, std::chrono::duration<double>(delay),
                                 [&] { return quit_ || !posted_.empty(); });
            }
        }
    }
}

std::size_t EventLoop::runUntilIdle() {
    const std::uint64_t armedBefore = nextSequence_;
    std::size_t ran = runPostedBatch();
    const double due = now();
    while (fireOneDueTimer(due, armedBefore)) ++ran;
    return ran;
}

void EventLoop::drain() {
    // Far more rounds than any real chain of work takes; past them something re-posts itself.
    constexpr int roundLimit = 100000;
    for (int round = 0; round < roundLimit; ++round) {
        if (runUntilIdle() == 0) return;
    }
    throw std::runtime_error("The event loop never went idle: its work keeps posting more work.");
}

void EventLoop::advance(double seconds) {
    double target = onGrid(now() + seconds);
    drain();
    while (fireOneDueTimer(target, nextSequence_)) drain();
    if (manual_ != nullptr) manual_->setContinuous(target);
    drain();
}

std::optional<double> EventLoop::nextDelay() const {
    if (timers_.empty()) return std::nullopt;
    double delay = timers_.begin()->first.first - now();
    return delay > 0 ? delay : 0.0;
}

std::size_t EventLoop::pendingCount() const {
    std::lock_guard lock(mutex_);
    return posted_.size() + timers_.size();
}

void EventLoop::adoptRoot(std::coroutine_handle<> root) {
    roots_.insert(root.address());
}

void EventLoop::releaseRoot(std::coroutine_handle<> root) {
    roots_.erase(root.address());
}

EventLoop::TimerKey EventLoop::schedule(Timer* timer, double due) {
    TimerKey key{due, nextSequence_++};
    timers_.emplace(key, timer);
    return key;
}

void EventLoop::unschedule(const TimerKey& key) {
    timers_.erase(key);
}

void Timer::start(double delay, std::function<void()> action) {
    arm(delay, 0, std::move(action));
}

void Timer::startRepeating(double interval, std::function<void()> action) {
    // At least one tick apart, so that no repeating timer can keep the loop busy forever.
    double every = std::max(interval, tick);
    arm(every, every, std::move(action));
}

void Timer::arm(double delay, double interval, std::function<void()> action) {
    stop();
    interval_ = interval;
    action_ = std::make_shared<std::function<void()>>(std::move(action));
    key_ = loop_.schedule(this, onGrid(loop_.now() + (delay > 0 ? delay : 0)));
}

void Timer::stop() {
    if (!key_) return;
    loop_.unschedule(*key_);
    key_.reset();
}

}  // namespace lumora
