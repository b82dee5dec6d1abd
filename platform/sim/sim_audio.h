// The microphone of the simulated desktop: engines with the scenario's input format and a tap
// that hears the scenario's samples, then silence, paced by the clock of whoever delivers them.
// Conversion is not simulated: resampling is real work, done by the Linux implementation of the
// conversion port.
#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "platform/audio.h"
#include "platform/sim/sim_world.h"

namespace lumora::sim {

class SimAudio final : public platform::Audio {
  public:
    explicit SimAudio(std::shared_ptr<World> world) : world_(std::move(world)) {}

    std::unique_ptr<platform::AudioEngine> createEngine() override;

    // Delivers every buffer due by `now` to the running engines' taps (see SimDesktop).
    std::size_t deliver(double now);
    bool anyEngineRunning() const;

  private:
    struct DueBuffer {
        std::shared_ptr<AudioTap> tap;
        platform::AudioBuffer buffer;
    };
    std::optional<DueBuffer> takeDueBuffer(double now);

    std::shared_ptr<World> world_;
    // One delivery at a time, so each stream's buffers reach its tap in order.
    std::mutex delivering_;
};

}  // namespace lumora::sim
