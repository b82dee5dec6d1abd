// The microphone of the simulated desktop: engines with the scenario's input format and a tap
// that receives the scenario's samples when a test plays them. Conversion is not simulated:
// resampling is real work, done by the Linux implementation of the conversion port.
#pragma once

#include <memory>

#include "platform/audio.h"
#include "platform/sim/sim_world.h"

namespace lumora::sim {

class SimAudio final : public platform::Audio {
  public:
    explicit SimAudio(std::shared_ptr<World> world) : world_(std::move(world)) {}

    std::unique_ptr<platform::AudioEngine> createEngine() override;

    // Plays the scenario's samples into every running engine's tap (see SimDesktop).
    std::size_t play();
    bool anyEngineRunning() const;

  private:
    std::shared_ptr<World> world_;
};

}  // namespace lumora::sim
