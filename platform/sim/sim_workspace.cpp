#include "platform/sim/sim_workspace.h"

#include <cctype>

namespace lumora::sim {

namespace {

// A URL needs at least a scheme: a letter, then letters, digits, "+", "-" or ".", then ":".
bool hasScheme(const std::string& url) {
    std::size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0 ||
        !std::isalpha(static_cast<unsigned char>(url[0]))) {
        return false;
    }
    for (std::size_t index = 1; index < colon; ++index) {
        unsigned char c = static_cast<unsigned char>(url[index]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

}  // namespace

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
    if (!hasScheme(url)) return false;
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
