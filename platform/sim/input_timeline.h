// Plays the scenario's timeline of the user's keyboard and mouse into the simulated desktop,
// each entry at its time by the loop's clock: real time in the program, virtual time in tests.
// Times count from the player's creation, which the helper does as it starts; destroying it
// stops the rest.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "runtime/event_loop.h"

namespace lumora::sim {

class InputTimeline {
  public:
    InputTimeline(EventLoop& loop, SimDesktop& desktop);
    InputTimeline(const InputTimeline&) = delete;
    InputTimeline& operator=(const InputTimeline&) = delete;

  private:
    void armNext();

    EventLoop& loop_;
    SimDesktop& desktop_;
    const std::vector<TimedInput> entries_;
    const double start_;
    std::size_t next_ = 0;
    Timer timer_;
};

}  // namespace lumora::sim
