#include "platform/sim/sim_system.h"

namespace lumora::sim {

platform::OsVersion SimSystem::osVersion() {
    std::lock_guard lock(world_->mutex);
    return world_->system.version;
}

std::optional<std::string> SimSystem::environment(const std::string& name) {
    {
        std::lock_guard lock(world_->mutex);
        const auto& overrides = world_->system.environment;
        if (auto found = overrides.find(name); found != overrides.end()) return found->second;
    }
    return real_.environment(name);
}

std::string SimSystem::homeDirectory() {
    {
        std::lock_guard lock(world_->mutex);
        if (world_->system.homeDirectory) return *world_->system.homeDirectory;
    }
    return real_.homeDirectory();
}

std::string SimSystem::temporaryDirectory() {
    {
        std::lock_guard lock(world_->mutex);
        if (world_->system.temporaryDirectory) return *world_->system.temporaryDirectory;
    }
    return real_.temporaryDirectory();
}

std::string SimSystem::currentLocale() {
    std::lock_guard lock(world_->mutex);
    return world_->system.locale;
}

}  // namespace lumora::sim
