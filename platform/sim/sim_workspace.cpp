#include "platform/sim/sim_workspace.h"

#include "platform/linux/url_scheme.h"

namespace lumora::sim {

void SimWorkspace::prohibitActivation() {
    std::lock_guard lock(world_->mutex);
    world_->activationProhibited = true;
}

std::optional<platform::RunningApplication> SimWorkspace::frontmostApplication() {
    std::lock_guard lock(world_->mutex);
    const App* app = world_->frontmostApp();
    if (!app) return std::nullopt;
    return app->info;
}

std::vector<platform::RunningApplication> SimWorkspace::runningApplications() {
    std::lock_guard lock(world_->mutex);
    std::vector<platform::RunningApplication> running;
    for (const App& app : world_->apps) {
        if (!app.terminated) running.push_back(app.info);
    }
    return running;
}

bool SimWorkspace::isTerminated(pid_t pid) {
    std::lock_guard lock(world_->mutex);
    const App* app = world_->app(pid);
    return !app || app->terminated;
}

bool SimWorkspace::activate(pid_t pid) {
    std::lock_guard lock(world_->mutex);
    const App* app = world_->app(pid);
    if (!app || app->terminated) return false;
    world_->frontmost = pid;
    world_->activated.push_back(pid);
    return true;
}

bool SimWorkspace::openURL(const std::string& url) {
    if (!platform::hasUrlScheme(url)) return false;
    std::lock_guard lock(world_->mutex);
    world_->openedURLs.push_back(url);
    return true;
}

pid_t SimWorkspace::parentProcessId() {
    std::lock_guard lock(world_->mutex);
    return world_->parentPid;
}

std::optional<std::string> SimWorkspace::applicationExecutable(
    const std::string& bundleIdentifier) {
    std::lock_guard lock(world_->mutex);
    auto found = world_->installedApplications.find(bundleIdentifier);
    if (found == world_->installedApplications.end()) return std::nullopt;
    return found->second;
}

}  // namespace lumora::sim
