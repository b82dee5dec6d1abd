// System facts on the simulated desktop: the machine's real ones, with what the scenario
// overrides (the macOS version, the locale, environment variables and directories).
#pragma once

#include <memory>

#include "platform/linux/linux_system.h"
#include "platform/sim/sim_world.h"

namespace lumora::sim {

class SimSystem final : public platform::System {
  public:
    explicit SimSystem(std::shared_ptr<World> world) : world_(std::move(world)) {}

    platform::OsVersion osVersion() override;
    std::optional<std::string> environment(const std::string& name) override;
    std::string homeDirectory() override;
    std::string temporaryDirectory() override;
    double uptime() override { return real_.uptime(); }
    std::string currentLocale() override;
    void log(const std::string& subsystem, const std::string& category, platform::LogLevel level,
             const std::string& message) override {
        real_.log(subsystem, category, level, message);
    }

  private:
    std::shared_ptr<World> world_;
    platform::LinuxSystem real_;
};

}  // namespace lumora::sim
