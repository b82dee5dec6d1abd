// Keyboard layouts as key code to typed text, and the one every Mac falls back to.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace lumora::sim {

using KeyLayout = std::map<std::uint16_t, std::string>;

// The ANSI US layout without modifiers: letters, digits, punctuation, space, tab and return.
const KeyLayout& ansiUsLayout();

}  // namespace lumora::sim
