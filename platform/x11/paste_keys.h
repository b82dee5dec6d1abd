// Which keys paste in a window. On X11 the paste gesture is the window's own: editors paste
// the clipboard with Control+V, but Control+V is a character a terminal hands to its program,
// so terminals take other keys: most (the VTE ones, Konsole, Alacritty, kitty, st) Control+
// Shift+V, and xterm and rxvt Shift+Insert, which pastes the PRIMARY selection instead of the
// clipboard.
#pragma once

#include <string>
#include <vector>

namespace lumora::x11 {

enum class PasteKeys {
    controlV,
    controlShiftV,
    // Pastes PRIMARY.
    shiftInsert,
};

// `windowClass` is the active window's WM_CLASS (instance, class); `terminalFocused` says
// that its focused element is a terminal, which terminals unknown by class say through
// accessibility.
PasteKeys pasteKeysFor(const std::vector<std::string>& windowClass, bool terminalFocused);

}  // namespace lumora::x11
