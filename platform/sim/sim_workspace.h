// The workspace of the simulated desktop: its applications, which one is in front, activation
// and opening URLs, all recorded for the state dump.
#pragma once

#include <memory>

#include "platform/sim/sim_world.h"
#include "platform/workspace.h"

namespace lumora::sim {

class SimWorkspace final : public platform::Workspace {
  public:
    explicit SimWorkspace(std::shared_ptr<World> world) : world_(std::move(world)) {}

    void prohibitActivation() override;
    std::optional<platform::RunningApplication> frontmostApplication() override;
    std::vector<platform::RunningApplication> runningApplications() override;
    bool isTerminated(pid_t pid) override;
    bool activate(pid_t pid) override;
    bool openURL(const std::string& url) override;
    pid_t parentProcessId() override;
    std::optional<std::string> applicationExecutable(const std::string& bundleIdentifier) override;

  private:
    std::shared_ptr<World> world_;
};

}  // namespace lumora::sim
