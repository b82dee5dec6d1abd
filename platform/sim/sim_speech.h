// Speech recognition on the simulated desktop: the scenario's locales and recognisers, and
// requests that count the seconds of audio they are given. A scripted result with `afterAudio`
// is reported once that much was heard; when the audio ends the task reports the rest in order,
// or that no speech was heard when no audio came.
#pragma once

#include <memory>

#include "platform/sim/sim_world.h"
#include "platform/speech.h"

namespace lumora::sim {

class SimSpeech final : public platform::Speech {
  public:
    explicit SimSpeech(std::shared_ptr<World> world) : world_(std::move(world)) {}

    std::vector<std::string> supportedLocales() override;
    std::unique_ptr<platform::SpeechRecognizer> recognizer(
        const std::string& localeIdentifier) override;
    std::string recognizerDescription() override { return "simulated"; }

  private:
    std::shared_ptr<World> world_;
};

}  // namespace lumora::sim
