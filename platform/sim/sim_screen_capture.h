// Screen capture on the simulated desktop: the on-screen windows as shareable content, and
// window screenshots rendered from the scenario's pictures at the requested size. Both need
// Screen Recording access, as on the real platform.
#pragma once

#include <memory>

#include "platform/screen_capture.h"
#include "platform/sim/sim_world.h"

namespace lumora::sim {

class SimScreenCapture final : public platform::ScreenCapture {
  public:
    explicit SimScreenCapture(std::shared_ptr<World> world) : world_(std::move(world)) {}

    void shareableWindows(
        std::function<void(platform::Outcome<std::vector<platform::ShareableWindow>>)> done)
        override;
    void captureWindow(std::uint32_t windowID, std::uint32_t width, std::uint32_t height,
                       std::function<void(platform::Outcome<platform::Image>)> done) override;
    std::unique_ptr<platform::ChildProcess> makeProcess(
        const std::string& executable, const std::vector<std::string>& arguments) override;

  private:
    std::shared_ptr<World> world_;
};

}  // namespace lumora::sim
