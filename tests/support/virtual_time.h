// One thread in virtual time: a manual clock, the event loop on it, and a manual executor for
// the work a program would run on its thread pool. settle() runs both until neither has
// anything ready; advance() moves the clock from one due timer to the next, settling after
// each, so work finishes at the virtual moment it would in the program. Work that keeps making
// more work fails the test instead of hanging it.
#pragma once

#include <gtest/gtest.h>

#include "runtime/clock.h"
#include "runtime/event_loop.h"
#include "runtime/manual_executor.h"

namespace lumora::test_support {

class VirtualTime {
  public:
    // Returns false, failing the test, when the work never runs out.
    bool settle() {
        // Far more rounds than any real chain of work takes; past them something re-posts
        // itself.
        constexpr int roundLimit = 100000;
        for (int round = 0; round < roundLimit; ++round) {
            if (loop.runUntilIdle() + executor.runReady() == 0) return true;
        }
        ADD_FAILURE() << "The loop and the executor never went idle: work keeps making more work.";
        return false;
    }

    void advance(double seconds) {
        const double target = loop.now() + seconds;
        if (!settle()) return;
        while (std::optional<double> delay = loop.nextDelay()) {
            if (loop.now() + *delay > target) break;
            loop.advance(*delay);
            if (!settle()) return;
        }
        if (target > loop.now()) loop.advance(target - loop.now());
        settle();
    }

    ManualClock clock;
    EventLoop loop{clock};
    ManualExecutor executor;
};

}  // namespace lumora::test_support
