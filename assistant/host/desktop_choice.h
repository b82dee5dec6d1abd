// Which desktop the helper serves, decided from its environment before anything starts:
// LUMORA_DESKTOP names it ("x11" or "sim"); unset, the real desktop when a display is named
// and no simulated scenario is, otherwise the simulated one.
#pragma once

#include <optional>
#include <string>
#include <variant>

namespace lumora {

enum class DesktopKind { simulated, x11 };

struct DesktopEnvironment {
    std::optional<std::string> desktop;   // LUMORA_DESKTOP
    std::optional<std::string> display;   // DISPLAY
    std::optional<std::string> scenario;  // LUMORA_SIM_SCENARIO
};

// The desktop, or the sentence that explains why none can be chosen.
std::variant<DesktopKind, std::string> chooseDesktop(const DesktopEnvironment& environment);

}  // namespace lumora
