// The scripted on-device model: availability from the scenario, and sessions that answer with
// the first scripted reply whose conditions hold for the prompt, instructions and
// configuration. Streams grow by whole user-perceived characters, as the real model's
// snapshots do. Every call is recorded. A paced reply waits in real time on the caller's thread;
// a reply that goes quiet waits for its stop without holding any thread.
#pragma once

#include <memory>

#include "platform/language_model.h"
#include "platform/sim/sim_world.h"

namespace lumora::sim {

class SimLanguageModel final : public platform::LanguageModel {
  public:
    explicit SimLanguageModel(std::shared_ptr<World> world);
    ~SimLanguageModel() override;

    platform::ModelAvailability availability() override;
    bool supportsImageAttachments() override;
    std::unique_ptr<platform::LanguageModelSession> makeSession(
        platform::ModelConfiguration configuration, const std::string& instructions) override;

    // Calls that went quiet, each ended as cancelled once its caller stops it.
    class QuietCalls;

  private:
    std::shared_ptr<World> world_;
    std::shared_ptr<QuietCalls> quiet_;
};

}  // namespace lumora::sim
