// The world as the user would see it, as one JSON document: what end-to-end tests compare
// after a run (fields, pasteboard, front application, activations, URLs, posted keys,
// permission prompts, accessibility requests, launched processes, model calls).
#pragma once

#include "platform/sim/sim_world.h"
#include "runtime/json.h"

namespace lumora::sim {

// The caller holds the world's lock.
json::OrderedDocument stateDocument(const World& world);

}  // namespace lumora::sim
