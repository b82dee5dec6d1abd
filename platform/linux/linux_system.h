// The real system facts of this machine. There is no macOS version on Linux; the version
// reported is the one the composition root configures (the simulated desktop overrides it).
#pragma once

#include "platform/system.h"

namespace lumora::platform {

class LinuxSystem final : public System {
  public:
    explicit LinuxSystem(OsVersion reportedVersion = {});

    OsVersion osVersion() override { return version_; }
    std::optional<std::string> environment(const std::string& name) override;
    std::string homeDirectory() override;
    std::string temporaryDirectory() override;
    double uptime() override;
    std::string currentLocale() override;
    // Writes "subsystem[category] message" lines to standard error; never to standard output,
    // which belongs to the event protocol.
    void log(const std::string& subsystem, const std::string& category, LogLevel level,
             const std::string& message) override;

  private:
    OsVersion version_;
};

}  // namespace lumora::platform
