#include "assistant/host/desktop_choice.h"

namespace lumora {

namespace {
bool isSet(const std::optional<std::string>& value) {
    return value && !value->empty();
}
}  // namespace

std::variant<DesktopKind, std::string> chooseDesktop(const DesktopEnvironment& environment) {
    if (!isSet(environment.desktop)) {
        bool real = isSet(environment.display) && !isSet(environment.scenario);
        return real ? DesktopKind::x11 : DesktopKind::simulated;
    }
    if (*environment.desktop == "sim") return DesktopKind::simulated;
    if (*environment.desktop != "x11") {
        return "LUMORA_DESKTOP must be \"x11\" or \"sim\", not \"" + *environment.desktop + "\".";
    }
    if (!isSet(environment.display)) {
        return "LUMORA_DESKTOP is \"x11\" but DISPLAY names no X server.";
    }
    return DesktopKind::x11;
}

}  // namespace lumora
