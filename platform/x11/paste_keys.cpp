#include "platform/x11/paste_keys.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <utility>

namespace lumora::x11 {

namespace {

// By WM_CLASS instance or class, compared without case. Terminals that have accessibility are
// here as well, for a desktop where it is switched off.
constexpr std::array<std::pair<std::string_view, PasteKeys>, 19> terminals = {{
    {"xterm", PasteKeys::shiftInsert},
    {"uxterm", PasteKeys::shiftInsert},
    {"urxvt", PasteKeys::shiftInsert},
    {"rxvt", PasteKeys::shiftInsert},
    {"st", PasteKeys::controlShiftV},
    {"st-256color", PasteKeys::controlShiftV},
    {"alacritty", PasteKeys::controlShiftV},
    {"kitty", PasteKeys::controlShiftV},
    {"konsole", PasteKeys::controlShiftV},
    {"gnome-terminal", PasteKeys::controlShiftV},
    {"gnome-terminal-server", PasteKeys::controlShiftV},
    {"xfce4-terminal", PasteKeys::controlShiftV},
    {"lxterminal", PasteKeys::controlShiftV},
    {"mate-terminal", PasteKeys::controlShiftV},
    {"terminator", PasteKeys::controlShiftV},
    {"tilix", PasteKeys::controlShiftV},
    {"qterminal", PasteKeys::controlShiftV},
    {"sakura", PasteKeys::controlShiftV},
    {"org.wezfurlong.wezterm", PasteKeys::controlShiftV},
}};

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

PasteKeys pasteKeysFor(const std::vector<std::string>& windowClass, bool terminalFocused) {
    for (const std::string& name : windowClass) {
        for (const auto& [terminal, keys] : terminals) {
            if (sameIgnoringCase(name, terminal)) return keys;
        }
    }
    // A terminal the table does not know takes the keys most terminals take.
    return terminalFocused ? PasteKeys::controlShiftV : PasteKeys::controlV;
}

}  // namespace lumora::x11
