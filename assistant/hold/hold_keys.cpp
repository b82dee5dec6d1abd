#include "assistant/hold/hold_keys.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <utility>

namespace lumora {

namespace {

namespace flags = platform::eventFlags;

constexpr std::uint16_t fnKey = 63;
constexpr std::uint16_t leftOptionKey = 58;
constexpr std::uint16_t rightOptionKey = 61;

constexpr std::array<std::pair<std::string_view, std::uint16_t>, 4> holdKeys = {{
    {"Hold:Fn", fnKey},
    {"Hold:LeftOption", leftOptionKey},
    {"Hold:RightOption", rightOptionKey},
    {"Hold:Escape", 53},
}};

constexpr std::array<std::pair<std::string_view, std::uint16_t>, 68> keys = {{
    {"KeyA", 0},         {"KeyS", 1},          {"KeyD", 2},        {"KeyF", 3},
    {"KeyH", 4},         {"KeyG", 5},          {"KeyZ", 6},        {"KeyX", 7},
    {"KeyC", 8},         {"KeyV", 9},          {"KeyB", 11},       {"KeyQ", 12},
    {"KeyW", 13},        {"KeyE", 14},         {"KeyR", 15},       {"KeyY", 16},
    {"KeyT", 17},        {"Digit1", 18},       {"Digit2", 19},     {"Digit3", 20},
    {"Digit4", 21},      {"Digit6", 22},       {"Digit5", 23},     {"Equal", 24},
    {"Digit9", 25},      {"Digit7", 26},       {"Minus", 27},      {"Digit8", 28},
    {"Digit0", 29},      {"BracketRight", 30}, {"KeyO", 31},       {"KeyU", 32},
    {"BracketLeft", 33}, {"KeyI", 34},         {"KeyP", 35},       {"Enter", 36},
    {"KeyL", 37},        {"KeyJ", 38},         {"Quote", 39},      {"KeyK", 40},
    {"Semicolon", 41},   {"Backslash", 42},    {"Comma", 43},      {"Slash", 44},
    {"KeyN", 45},        {"KeyM", 46},         {"Period", 47},     {"Tab", 48},
    {"Space", 49},       {"Backquote", 50},    {"Backspace", 51},  {"Escape", 53},
    {"F1", 122},         {"F2", 120},          {"F3", 99},         {"F4", 118},
    {"F5", 96},          {"F6", 97},           {"F7", 98},         {"F8", 100},
    {"F9", 101},         {"F10", 109},         {"F11", 103},       {"F12", 111},
    {"ArrowLeft", 123},  {"ArrowRight", 124},  {"ArrowDown", 125}, {"ArrowUp", 126},
}};

template <std::size_t size>
std::optional<std::uint16_t> lookUp(
    const std::array<std::pair<std::string_view, std::uint16_t>, size>& table,
    std::string_view name) {
    auto found = std::find_if(table.begin(), table.end(),
                              [&](const auto& entry) { return entry.first == name; });
    if (found == table.end()) return std::nullopt;
    return found->second;
}

}  // namespace

std::optional<std::uint16_t> holdKeyCode(std::string_view name) {
    return lookUp(holdKeys, name);
}

std::optional<std::uint16_t> keyCode(std::string_view name) {
    return lookUp(keys, name);
}

platform::EventFlags requiredFlags(std::string_view modifiers) {
    std::string lower(modifiers);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto has = [&](std::string_view part) { return lower.find(part) != std::string::npos; };
    platform::EventFlags required = 0;
    if (has("super") || has("meta")) required |= flags::command;
    if (has("control")) required |= flags::control;
    if (has("alt")) required |= flags::option;
    if (has("shift")) required |= flags::shift;
    return required;
}

bool modifierDown(std::uint16_t keyCode, platform::EventFlags eventFlags) {
    if (keyCode == fnKey) return (eventFlags & flags::function) != 0;
    if (keyCode != leftOptionKey && keyCode != rightOptionKey) return false;
    if ((eventFlags & flags::option) == 0) return false;
    const platform::EventFlags sides = flags::leftOptionDevice | flags::rightOptionDevice;
    const platform::EventFlags ownSide =
        keyCode == leftOptionKey ? flags::leftOptionDevice : flags::rightOptionDevice;
    return (eventFlags & sides) == 0 || (eventFlags & ownSide) != 0;
}

}  // namespace lumora
