#include "platform/x11/key_codes.h"

#include <algorithm>
#include <array>
#include <utility>

namespace lumora::x11 {

namespace {

constexpr std::uint16_t firstModifierCode = 54;  // Right Command
constexpr std::uint16_t lastModifierCode = 63;   // Fn

// The Linux shortcut modifier is Control, so the Control keys carry the Command codes (55, 54)
// and the flag that goes with them, and the Super keys the Control codes (59, 62); Alt and
// AltGr sit where Option does. The key left of Z on ISO keyboards is the ISO Section key, Insert
// is Help and the Num Lock key Clear, as on Apple's keyboards.
constexpr std::array<std::pair<std::uint16_t, std::string_view>, 114> positions = {{
    {0, "AC01"},   {1, "AC02"},   {2, "AC03"},   {3, "AC04"},   {4, "AC06"},   {5, "AC05"},
    {6, "AB01"},   {7, "AB02"},   {8, "AB03"},   {9, "AB04"},   {10, "LSGT"},  {11, "AB05"},
    {12, "AD01"},  {13, "AD02"},  {14, "AD03"},  {15, "AD04"},  {16, "AD06"},  {17, "AD05"},
    {18, "AE01"},  {19, "AE02"},  {20, "AE03"},  {21, "AE04"},  {22, "AE06"},  {23, "AE05"},
    {24, "AE12"},  {25, "AE09"},  {26, "AE07"},  {27, "AE11"},  {28, "AE08"},  {29, "AE10"},
    {30, "AD12"},  {31, "AD09"},  {32, "AD07"},  {33, "AD11"},  {34, "AD08"},  {35, "AD10"},
    {36, "RTRN"},  {37, "AC09"},  {38, "AC07"},  {39, "AC11"},  {40, "AC08"},  {41, "AC10"},
    {42, "BKSL"},  {43, "AB08"},  {44, "AB10"},  {45, "AB06"},  {46, "AB07"},  {47, "AB09"},
    {48, "TAB"},   {49, "SPCE"},  {50, "TLDE"},  {51, "BKSP"},  {53, "ESC"},   {54, "RCTL"},
    {55, "LCTL"},  {56, "LFSH"},  {57, "CAPS"},  {58, "LALT"},  {59, "LWIN"},  {60, "RTSH"},
    {61, "RALT"},  {62, "RWIN"},  {64, "FK17"},  {65, "KPDL"},  {67, "KPMU"},  {69, "KPAD"},
    {71, "NMLK"},  {72, "VOL+"},  {73, "VOL-"},  {74, "MUTE"},  {75, "KPDV"},  {76, "KPEN"},
    {78, "KPSU"},  {79, "FK18"},  {80, "FK19"},  {81, "KPEQ"},  {82, "KP0"},   {83, "KP1"},
    {84, "KP2"},   {85, "KP3"},   {86, "KP4"},   {87, "KP5"},   {88, "KP6"},   {89, "KP7"},
    {90, "FK20"},  {91, "KP8"},   {92, "KP9"},   {96, "FK05"},  {97, "FK06"},  {98, "FK07"},
    {99, "FK03"},  {100, "FK08"}, {101, "FK09"}, {103, "FK11"}, {105, "FK13"}, {106, "FK16"},
    {107, "FK14"}, {109, "FK10"}, {110, "COMP"}, {111, "FK12"}, {113, "FK15"}, {114, "INS"},
    {115, "HOME"}, {116, "PGUP"}, {117, "DELE"}, {118, "FK04"}, {119, "END"},  {120, "FK02"},
    {121, "PGDN"}, {122, "FK01"}, {123, "LEFT"}, {124, "RGHT"}, {125, "DOWN"}, {126, "UP"},
}};

}  // namespace

std::optional<std::uint16_t> keyCodeAt(std::string_view keyName) {
    auto found = std::find_if(positions.begin(), positions.end(),
                              [&](const auto& entry) { return entry.second == keyName; });
    if (found == positions.end()) return std::nullopt;
    return found->first;
}

std::string_view keyNameOf(std::uint16_t keyCode) {
    auto found = std::find_if(positions.begin(), positions.end(),
                              [&](const auto& entry) { return entry.first == keyCode; });
    return found == positions.end() ? std::string_view() : found->second;
}

bool isModifierKeyCode(std::uint16_t keyCode) {
    return keyCode >= firstModifierCode && keyCode <= lastModifierCode;
}

}  // namespace lumora::x11
