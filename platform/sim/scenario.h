// Builds a world from a scenario document. Every key is optional, so `{}` is an empty desktop
// on which everything is permitted. A malformed scenario throws lumora::Error("Lumora.Sim", 1)
// naming the key that is wrong.
#pragma once

#include <string_view>

#include "platform/sim/sim_world.h"

namespace lumora::sim {

void loadScenario(std::string_view json, World& world);

}  // namespace lumora::sim
