// The simulated microphone in real time, for the program: a thread of its own, as a real audio
// thread is, delivers the desktop's audio as the monotonic clock says it has been spoken.
// Destroying it stops the thread; it must go before the desktop and whatever the taps feed.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/sim/sim_desktop.h"

namespace lumora::sim {

class RealtimeMicrophone {
  public:
    explicit RealtimeMicrophone(SimDesktop& desktop);
    ~RealtimeMicrophone();
    RealtimeMicrophone(const RealtimeMicrophone&) = delete;
    RealtimeMicrophone& operator=(const RealtimeMicrophone&) = delete;

  private:
    void run();

    SimDesktop& desktop_;
    std::mutex mutex_;
    std::condition_variable wakeup_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace lumora::sim
