#include "assistant/target/command_v.h"

#include <optional>

namespace lumora {

namespace {
constexpr std::uint16_t ansiVKeyCode = 9;
constexpr std::uint16_t keyCodeCount = 128;
}  // namespace

std::uint16_t keyCodeTypingV(platform::Keyboard& keyboard) {
    if (!keyboard.hasLayoutData()) return ansiVKeyCode;
    for (std::uint16_t code = 0; code < keyCodeCount; ++code) {
        std::optional<std::u16string> typed = keyboard.translate(code);
        if (typed && !typed->empty() && typed->front() == u'v') return code;
    }
    return ansiVKeyCode;
}

bool postCommandV(platform::Keyboard& keyboard) {
    std::uint16_t code = keyCodeTypingV(keyboard);
    std::optional<platform::InputEvent> down = keyboard.createKeyEvent(code, true);
    std::optional<platform::InputEvent> up = keyboard.createKeyEvent(code, false);
    if (!down || !up) return false;
    // Command alone: the events must not inherit flags from whatever the session holds.
    for (platform::InputEvent* event : {&*down, &*up}) {
        event->flags = platform::eventFlags::command;
        event->userData = 0;
    }
    keyboard.post(*down);
    keyboard.post(*up);
    return true;
}

}  // namespace lumora
