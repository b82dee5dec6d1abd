// Privacy permissions of the simulated desktop. A request prompts only while the status is
// undecided, and the user's answer comes from the scenario; requests complete at once on the
// calling thread, which is one of the "any thread" cases callers must handle.
#pragma once

#include <memory>

#include "platform/permissions.h"
#include "platform/sim/sim_world.h"

namespace lumora::sim {

class SimPermissions final : public platform::Permissions {
  public:
    explicit SimPermissions(std::shared_ptr<World> world) : world_(std::move(world)) {}

    int microphoneStatus() override;
    void requestMicrophone(std::function<void(bool granted)> done) override;
    int speechRecognitionStatus() override;
    void requestSpeechRecognition(std::function<void(int status)> done) override;
    bool accessibilityTrusted() override;
    bool screenCapturePreflight() override;
    bool screenCaptureRequest() override;

  private:
    std::shared_ptr<World> world_;
};

}  // namespace lumora::sim
