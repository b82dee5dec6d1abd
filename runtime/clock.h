// Time as the system sees it: a monotonic "continuous" clock for delays and deadlines and a
// wall clock for records. Programs use SystemClock; tests drive a ManualClock.
#pragma once

#include <atomic>

namespace lumora {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual double continuousSeconds() const = 0;
    virtual double wallSeconds() const = 0;
};

class SystemClock final : public Clock {
  public:
    double continuousSeconds() const override;
    double wallSeconds() const override;
};

class ManualClock final : public Clock {
  public:
    explicit ManualClock(double continuous = 1000.0, double wall = 1'800'000'000.0)
        : continuous_(continuous), wallOffset_(wall - continuous) {}

    double continuousSeconds() const override { return continuous_.load(); }
    double wallSeconds() const override { return continuous_.load() + wallOffset_; }

    // Moves both clocks to `continuous`; time never runs backwards.
    void setContinuous(double continuous) {
        if (continuous > continuous_.load()) continuous_.store(continuous);
    }

  private:
    std::atomic<double> continuous_;
    double wallOffset_;
};

}  // namespace lumora
