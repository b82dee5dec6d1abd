#include "platform/sim/sim_windows.h"

namespace lumora::sim {

std::vector<const Window*> windowsOnScreen(const World& world) {
    std::vector<const Window*> windows;
    for (const Window& window : world.windows) {
        // Windows of processes outside the scenario (the Dock, menu extras) stay on screen.
        const App* owner = world.app(window.info.ownerPid);
        if (!owner || !owner->terminated) windows.push_back(&window);
    }
    return windows;
}

std::vector<platform::WindowInfo> SimWindows::onScreenWindows() {
    std::lock_guard lock(world_->mutex);
    std::vector<platform::WindowInfo> infos;
    for (const Window* window : windowsOnScreen(*world_)) infos.push_back(window->info);
    return infos;
}

}  // namespace lumora::sim
