// What the X server's keymap says about its keys, in the port's terms: the key code of each X
// key and back (by position, see key_codes.h), the modifier flags a set of pressed keys makes,
// the text a key types in a layout group, and a key that sets a given modifier, for posting.
// Read once from the server through XKB (libxkbcommon) and never changed, so any thread may
// read it; a new keymap is a new KeyLayout.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/keyboard.h"

struct xcb_connection_t;
struct xkb_keymap;

namespace lumora::x11 {

// A set of X key codes, such as the keys down now.
using XKeys = std::bitset<256>;
using XKey = std::uint8_t;

// The X keys whose presses set the modifiers the port's flags name: the Linux shortcut
// modifier Control is Command, Super (Mod4) is Control, Alt (Mod1) and AltGr (Mod5, where
// ISO_Level3_Shift sits) are Option, Shift is Shift. The device bits say which Option key is
// down. Fn is never reported.
class KeyLayout {
  public:
    // The keymap of the core keyboard, through a connection on which the XKB extension is set
    // up; none when the server does not give it.
    static std::shared_ptr<const KeyLayout> read(xcb_connection_t* connection);
    ~KeyLayout();
    KeyLayout(const KeyLayout&) = delete;
    KeyLayout& operator=(const KeyLayout&) = delete;

    std::optional<std::uint16_t> keyCode(XKey key) const;
    std::optional<XKey> key(std::uint16_t keyCode) const;
    // The flags while exactly these keys are down.
    platform::EventFlags flags(const XKeys& down) const;
    // The flags this key alone sets while it is down.
    platform::EventFlags flagsOf(XKey key) const { return keyFlags_[key]; }
    // What the key types in layout group `group` without modifiers (UTF-16 units; empty for a
    // key that types nothing); none when the key code names no key of this keyboard.
    std::optional<std::u16string> text(std::uint16_t keyCode, std::uint32_t group) const;
    // A key whose press sets exactly this one flag; none when the keymap has none.
    std::optional<XKey> modifierKey(platform::EventFlags flag) const;

  private:
    explicit KeyLayout(xkb_keymap* keymap);

    xkb_keymap* const keymap_;
    std::array<std::optional<std::uint16_t>, 256> keyCodes_{};
    // Key codes run from 0 to 126.
    std::array<std::optional<XKey>, 128> keys_{};
    std::array<platform::EventFlags, 256> keyFlags_{};
};

}  // namespace lumora::x11
