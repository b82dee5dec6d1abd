// AT-SPI roles under the accessibility names the assistant's logic reads: windows, text areas,
// single-line fields, password fields (marked so that nothing reads or writes them), web areas.
#pragma once

#include <optional>
#include <string_view>

namespace lumora::x11 {

struct AXRoles {
    std::string_view role;
    std::optional<std::string_view> subrole;
};

// `atspiRole` is an AtspiRole value; `multiLine` the element's multi-line state.
AXRoles axRolesOf(int atspiRole, bool multiLine);
bool isWindowRole(int atspiRole);
bool isPasswordRole(int atspiRole);

}  // namespace lumora::x11
