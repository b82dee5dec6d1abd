// Facts about the running system: OS version, environment, directories, uptime, locale and
// the diagnostic log.
#pragma once

#include <optional>
#include <string>

namespace lumora::platform {

struct OsVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
    std::string versionString;
};

enum class LogLevel { debug, info, error };

class System {
  public:
    virtual ~System() = default;
    virtual OsVersion osVersion() = 0;
    virtual std::optional<std::string> environment(const std::string& name) = 0;
    virtual std::string homeDirectory() = 0;
    virtual std::string temporaryDirectory() = 0;
    // Seconds since boot.
    virtual double uptime() = 0;
    // ICU identifier of the user's current locale, such as "en_US".
    virtual std::string currentLocale() = 0;
    virtual void log(const std::string& subsystem, const std::string& category, LogLevel level,
                     const std::string& message) = 0;
};

}  // namespace lumora::platform
