#include "platform/x11/key_layout.h"

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>

#include "platform/x11/key_codes.h"

namespace lumora::x11 {

namespace {

namespace flags = platform::eventFlags;

constexpr std::uint16_t leftOptionCode = 58;
constexpr std::uint16_t rightOptionCode = 61;

struct ModifierFlag {
    const char* modifier;
    platform::EventFlags flag;
};

// The real modifiers that stand for the port's flags; Lock, NumLock and Mod3 stand for none.
constexpr std::array<ModifierFlag, 5> modifierFlags = {{
    {XKB_MOD_NAME_SHIFT, flags::shift},
    {XKB_MOD_NAME_CTRL, flags::command},
    {XKB_MOD_NAME_ALT, flags::option},
    {XKB_MOD_NAME_LOGO, flags::control},
    {"Mod5", flags::option},
}};

struct FreeState {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
using State = std::unique_ptr<xkb_state, FreeState>;

// The modifiers a key sets while it alone is down.
xkb_mod_mask_t modifiersOf(xkb_keymap* keymap, xkb_keycode_t key) {
    State state(xkb_state_new(keymap));
    if (!state) return 0;
    xkb_state_update_key(state.get(), key, XKB_KEY_DOWN);
    return xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED);
}

platform::EventFlags flagsOfModifiers(xkb_keymap* keymap, xkb_mod_mask_t modifiers) {
    platform::EventFlags result = 0;
    for (const ModifierFlag& entry : modifierFlags) {
        xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, entry.modifier);
        if (index != XKB_MOD_INVALID && (modifiers & (xkb_mod_mask_t{1} << index)) != 0) {
            result |= entry.flag;
        }
    }
    return result;
}

std::u16string utf16(char32_t codePoint) {
    if (codePoint < 0x10000) return std::u16string(1, static_cast<char16_t>(codePoint));
    const char32_t offset = codePoint - 0x10000;
    return {static_cast<char16_t>(0xD800 + (offset >> 10)),
            static_cast<char16_t>(0xDC00 + (offset & 0x3FF))};
}

}  // namespace

std::shared_ptr<const KeyLayout> KeyLayout::read(xcb_connection_t* connection) {
    const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    if (device < 0) return nullptr;
    // The keymap comes whole from the server: no include paths or environment to consult.
    xkb_context* context = xkb_context_new(static_cast<xkb_context_flags>(
        XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (context == nullptr) return nullptr;
    xkb_keymap* keymap =
        xkb_x11_keymap_new_from_device(context, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    // The keymap holds on to the context as long as it needs it.
    xkb_context_unref(context);
    if (keymap == nullptr) return nullptr;
    return std::shared_ptr<const KeyLayout>(new KeyLayout(keymap));
}

KeyLayout::KeyLayout(xkb_keymap* keymap) : keymap_(keymap) {
    const xkb_keycode_t last = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap), 255);
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= last; ++key) {
        keyFlags_[key] = flagsOfModifiers(keymap, modifiersOf(keymap, key));
        const char* name = xkb_keymap_key_get_name(keymap, key);
        std::optional<std::uint16_t> code = name ? keyCodeAt(name) : std::nullopt;
        if (!code || keys_[*code]) continue;
        keyCodes_[key] = code;
        keys_[*code] = static_cast<XKey>(key);
    }
}

KeyLayout::~KeyLayout() {
    xkb_keymap_unref(keymap_);
}

std::optional<std::uint16_t> KeyLayout::keyCode(XKey key) const {
    return keyCodes_[key];
}

std::optional<XKey> KeyLayout::key(std::uint16_t keyCode) const {
    return keyCode < keys_.size() ? keys_[keyCode] : std::nullopt;
}

platform::EventFlags KeyLayout::flags(const XKeys& down) const {
    platform::EventFlags result = 0;
    for (std::size_t key = 0; key < down.size(); ++key) {
        if (down.test(key)) result |= keyFlags_[key];
    }
    auto isDown = [&](std::uint16_t code) {
        std::optional<XKey> found = key(code);
        return found && down.test(*found);
    };
    if (isDown(leftOptionCode)) result |= flags::leftOptionDevice;
    if (isDown(rightOptionCode)) result |= flags::rightOptionDevice;
    return result;
}

std::optional<std::u16string> KeyLayout::text(std::uint16_t keyCode, std::uint32_t group) const {
    std::optional<XKey> found = key(keyCode);
    if (!found) return std::nullopt;
    State state(xkb_state_new(keymap_));
    if (!state) return std::nullopt;
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, group);
    const std::uint32_t typed = xkb_state_key_get_utf32(state.get(), *found);
    return typed == 0 ? std::u16string() : utf16(typed);
}

std::optional<XKey> KeyLayout::modifierKey(platform::EventFlags flag) const {
    for (std::size_t key = 0; key < keyFlags_.size(); ++key) {
        if (keyFlags_[key] == flag) return static_cast<XKey>(key);
    }
    return std::nullopt;
}

}  // namespace lumora::x11
