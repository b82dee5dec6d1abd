// Names of keys and modifiers as the app sends them, and the platform's codes for them: the
// four hold keys, the keys a recording's release poll may watch, and modifier names.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/keyboard.h"

namespace lumora {

// The virtual key code of a hold key name ("Hold:Fn", "Hold:LeftOption", "Hold:RightOption",
// "Hold:Escape"); none for any other name, which therefore never matches.
std::optional<std::uint16_t> holdKeyCode(std::string_view name);

// The virtual key code of a key name such as "KeyA", "Digit1", "F5" or "ArrowUp"; names are
// compared exactly, so the wrong letter case is none.
std::optional<std::uint16_t> keyCode(std::string_view name);

// The flags that must be down for a modifier text such as "Super+Shift": any text containing
// "super" or "meta" (Command), "control", "alt" (Option) or "shift", in any letter case.
platform::EventFlags requiredFlags(std::string_view modifiers);

// Whether a flags-changed event of a hold modifier (Fn or either Option key) still has it down.
// The Option keys share one flag; the device bits tell the sides apart when present.
bool modifierDown(std::uint16_t keyCode, platform::EventFlags flags);

}  // namespace lumora
