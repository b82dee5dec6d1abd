#include "platform/sim/realtime_microphone.h"

#include <pthread.h>

#include <chrono>

namespace lumora::sim {

namespace {

// Short beside any tap's buffer (1,024 frames at 48 kHz last 21 ms), so buffers arrive about
// when a real device would hand them over.
constexpr std::chrono::milliseconds pollInterval{5};

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

RealtimeMicrophone::RealtimeMicrophone(SimDesktop& desktop)
    : desktop_(desktop), thread_([this] { run(); }) {
    ::pthread_setname_np(thread_.native_handle(), "sim-microphone");
}

RealtimeMicrophone::~RealtimeMicrophone() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wakeup_.notify_all();
    thread_.join();
}

void RealtimeMicrophone::run() {
    std::unique_lock lock(mutex_);
    while (!wakeup_.wait_for(lock, pollInterval, [this] { return stopping_; })) {
        lock.unlock();
        desktop_.deliverAudio(steadySeconds());
        lock.lock();
    }
}

}  // namespace lumora::sim
