#include "platform/x11/window_paste.h"

#include <string>
#include <vector>

namespace lumora::x11 {

namespace {

namespace flags = platform::eventFlags;

// Insert sits where Apple's keyboards have Help (key_codes.h).
constexpr std::uint16_t insertKeyCode = 114;

bool isPasteCommand(const platform::InputEvent& event, bool typesV) {
    // The paste's own Command-V carries no user data; a key the user typed, which a tap held
    // back and gives back, carries the tap's marker and stays the key it was.
    bool keyEvent = event.type == platform::InputEventType::keyDown ||
                    event.type == platform::InputEventType::keyUp;
    return keyEvent && typesV && event.flags == flags::command && event.userData == 0;
}

}  // namespace

WindowPaste::WindowPaste(std::shared_ptr<X11Connection> display,
                         std::function<pid_t()> focusedTerminal, platform::Pasteboard& clipboard,
                         PrimaryLoan& primary)
    : display_(std::move(display)),
      focusedTerminal_(std::move(focusedTerminal)),
      clipboard_(clipboard),
      primary_(primary) {}

platform::InputEvent WindowPaste::adapt(const platform::InputEvent& event, bool typesV) {
    if (!isPasteCommand(event, typesV)) return event;
    PasteKeys keys = PasteKeys::controlV;
    if (event.type == platform::InputEventType::keyDown) {
        keys = keysOfActiveWindow();
        // Without the text in PRIMARY, Shift+Insert would paste something else.
        if (keys == PasteKeys::shiftInsert && !lendClipboardToPrimary()) keys = PasteKeys::controlV;
        pressed_ = keys;
    } else {
        keys = pressed_.value_or(PasteKeys::controlV);
        pressed_.reset();
    }
    platform::InputEvent adapted = event;
    if (keys == PasteKeys::controlShiftV) adapted.flags |= flags::shift;
    if (keys == PasteKeys::shiftInsert) {
        adapted.keyCode = insertKeyCode;
        adapted.flags = flags::shift;
    }
    return adapted;
}

PasteKeys WindowPaste::keysOfActiveWindow() {
    std::vector<std::uint32_t> active =
        display_->values(display_->root(), "_NET_ACTIVE_WINDOW", "WINDOW");
    if (active.empty() || active.front() == 0) return PasteKeys::controlV;
    const WindowId window = active.front();
    std::vector<std::uint32_t> pid = display_->values(window, "_NET_WM_PID", "CARDINAL");
    // Accessibility's focus may still be a terminal the user left for a window without it.
    pid_t terminal = focusedTerminal_();
    bool terminalFocused = terminal != 0 && !pid.empty() && static_cast<pid_t>(pid[0]) == terminal;
    return pasteKeysFor(display_->strings(window, "WM_CLASS"), terminalFocused);
}

bool WindowPaste::lendClipboardToPrimary() {
    std::optional<std::string> text = clipboard_.data(0, platform::plainTextType);
    return text && primary_.lend(*text);
}

}  // namespace lumora::x11
