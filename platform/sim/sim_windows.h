// The window server's list of the simulated desktop: the scenario's windows, front to back,
// without those of applications that have quit.
#pragma once

#include <memory>

#include "platform/sim/sim_world.h"
#include "platform/windows.h"

namespace lumora::sim {

class SimWindows final : public platform::Windows {
  public:
    explicit SimWindows(std::shared_ptr<World> world) : world_(std::move(world)) {}
    std::vector<platform::WindowInfo> onScreenWindows() override;

  private:
    std::shared_ptr<World> world_;
};

// The windows on screen now, in list order; the caller holds the world's lock.
std::vector<const Window*> windowsOnScreen(const World& world);

}  // namespace lumora::sim
