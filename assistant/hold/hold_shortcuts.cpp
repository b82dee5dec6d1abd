#include "assistant/hold/hold_shortcuts.h"

#include <algorithm>

namespace lumora {

void HoldShortcuts::configure(const std::map<std::string, std::string>& bindings) {
    if (bindings != bindings_) bindings_ = bindings;
}

// The event tap arrives with the hold monitor itself; until then nothing is installed.
void HoldShortcuts::install() {}

void HoldShortcuts::suspend(bool suspended) {
    suspended_ = suspended;
}

bool HoldShortcuts::reservesEscape() const {
    return !suspended_ && std::any_of(bindings_.begin(), bindings_.end(), [](const auto& binding) {
        return binding.second == "Hold:Escape";
    });
}

}  // namespace lumora
