// Child processes on the simulated desktop run nothing: the scenario scripts how each
// executable ends (its exit status, the image it writes to the path of its last argument, or
// that it waits until terminated, like an interactive tool the user has not finished with).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/screen_capture.h"
#include "platform/sim/sim_world.h"

namespace lumora::sim {

std::unique_ptr<platform::ChildProcess> makeSimProcess(std::shared_ptr<World> world,
                                                       std::string executable,
                                                       std::vector<std::string> arguments);

}  // namespace lumora::sim
