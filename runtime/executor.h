// Where slow blocking work runs (OCR, model calls, waits for child processes): the program's
// thread pool, or, in tests, a queue the test runs by hand on its own thread. Results go back to
// the event loop through the awaitables in bridge.h; the work never touches loop state.
#pragma once

#include <functional>

namespace lumora {

class Executor {
  public:
    virtual ~Executor() = default;
    // Safe from any thread.
    virtual void submit(std::function<void()> work) = 0;
};

}  // namespace lumora
