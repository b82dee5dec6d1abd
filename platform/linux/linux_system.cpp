#include "platform/linux/linux_system.h"

#include <pwd.h>
#include <unicode/uloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace lumora::platform {

LinuxSystem::LinuxSystem(OsVersion reportedVersion) : version_(std::move(reportedVersion)) {}

std::optional<std::string> LinuxSystem::environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::string LinuxSystem::homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr) return entry->pw_dir;
    return "/";
}

std::string LinuxSystem::temporaryDirectory() {
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') return tmp;
    return "/tmp";
}

double LinuxSystem::uptime() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string LinuxSystem::currentLocale() {
    return uloc_getDefault();
}

void LinuxSystem::log(const std::string& subsystem, const std::string& category, LogLevel level,
                      const std::string& message) {
    const char* levelName = level == LogLevel::error  ? "error"
                            : level == LogLevel::info ? "info"
                                                      : "debug";
    std::fprintf(stderr, "%s[%s] %s: %s\n", subsystem.c_str(), category.c_str(), levelName,
                 message.c_str());
}

}  // namespace lumora::platform
