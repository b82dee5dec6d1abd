// The X requests about the keyboard that more than one part of the keyboard port makes, each
// with a checked reply: the keys down now, the layout group in use, the pointer's place, and
// the set-up of a connection that listens to input (XInput 2.2 raw events, XKB keymap and
// group changes, the device XTest events come from).
#pragma once

#include <cstdint>
#include <optional>

#include "platform/geometry.h"
#include "platform/x11/key_layout.h"
#include "platform/x11/x11_connection.h"

namespace lumora::x11 {

// The server's own record of the keys down; none when it does not answer.
std::optional<XKeys> keysDown(xcb_connection_t* connection);
// The layout group in use; 0 when XKB does not answer.
std::uint32_t layoutGroup(xcb_connection_t* connection);
std::optional<platform::Point> pointerLocation(xcb_connection_t* connection, WindowId root);

// Sets up XKB on the connection and asks for its keymap and group changes; the first event
// code of XKB, none when the server has no usable XKB.
std::optional<std::uint8_t> listenToKeymaps(xcb_connection_t* connection);
// Asks for the raw key presses and releases and button presses of every device on the root
// window, which XInput 2.1 and later delivers whoever has the keyboard grabbed; the major
// opcode of XInput, none when the server has no XInput 2.2.
std::optional<std::uint8_t> listenToRawInput(xcb_connection_t* connection, WindowId root);
// The slave keyboard that XTest events come from, for every client that posts them.
std::optional<std::uint16_t> xtestKeyboard(xcb_connection_t* connection);

}  // namespace lumora::x11
