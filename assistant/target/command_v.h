// The synthetic Command-V that pastes the clipboard into the focused field.
#pragma once

#include <cstdint>

#include "platform/keyboard.h"

namespace lumora {

// The key that types "v" in the current layout, searched afresh each time because the user
// may switch layouts; the ANSI V key when the layout has no data or no key types "v".
std::uint16_t keyCodeTypingV(platform::Keyboard& keyboard);

// Posts Command-V at the session tap; false when a key event cannot be created.
bool postCommandV(platform::Keyboard& keyboard);

}  // namespace lumora
