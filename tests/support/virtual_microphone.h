// The simulated microphone in virtual time: a repeating timer on the loop delivers the
// desktop's audio as the loop's clock says it has been spoken, so a test that advances its
// VirtualTime hears buffers at the moments the program would. Declare it after the loop and
// the desktop it uses.
#pragma once

#include "platform/sim/sim_desktop.h"
#include "runtime/event_loop.h"

namespace lumora::test_support {

class VirtualMicrophone {
  public:
    // `period` in seconds: how often the microphone hands over what has been spoken, shorter
    // than the taps' buffers so that each arrives close to when it ends.
    VirtualMicrophone(EventLoop& loop, sim::SimDesktop& desktop, double period = 0.01)
        : timer_(loop) {
        timer_.startRepeating(period, [&loop, &desktop] { desktop.deliverAudio(loop.now()); });
    }
    VirtualMicrophone(const VirtualMicrophone&) = delete;
    VirtualMicrophone& operator=(const VirtualMicrophone&) = delete;

  private:
    Timer timer_;
};

}  // namespace lumora::test_support
