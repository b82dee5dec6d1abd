// An executor that runs nothing until told to, on the caller's thread: with a manual clock it
// keeps a test on one thread in virtual time. Work submitted while a batch runs waits for the
// next batch, so work that submits more work cannot spin a single call forever.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "runtime/executor.h"

namespace lumora {

class ManualExecutor final : public Executor {
  public:
    void submit(std::function<void()> work) override;
    // Runs the work queued when called, in submission order; how many jobs ran.
    std::size_t runReady();
    std::size_t pendingCount() const;

  private:
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace lumora
