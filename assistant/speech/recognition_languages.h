// The languages the on-device recogniser supports, for the app's settings screen.
#pragma once

#include "platform/speech.h"
#include "platform/system.h"
#include "runtime/json.h"

namespace lumora {

// Objects {"code", "name"}: the locale identifier with "_" written as "-", and its display
// name in the current locale; sorted by name the way a file browser sorts (numbers by value),
// equal names keeping their order.
json::Document recognitionLanguages(platform::Speech& speech, platform::System& system);

}  // namespace lumora
