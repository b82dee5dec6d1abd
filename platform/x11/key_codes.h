// The one table between the port's key codes (the macOS virtual key codes, named after the key
// positions of an ANSI keyboard) and the X keyboard's key positions, as XKB names them ("AB04"
// is the key where QWERTY has V, whatever the layout puts there). Positions, not keysyms: the
// app names keys by position ("KeyA" is a place on the keyboard), and a layout then moves no
// key. Fn has no position: X keyboards do not report it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace lumora::x11 {

// The key code of the key at this XKB position; none for a key the port has no code for.
std::optional<std::uint16_t> keyCodeAt(std::string_view keyName);
// The XKB position of a key code; empty when X keyboards have no such key.
std::string_view keyNameOf(std::uint16_t keyCode);
// Whether the key code is a modifier key's, whose presses and releases are flag changes.
bool isModifierKeyCode(std::uint16_t keyCode);

}  // namespace lumora::x11
