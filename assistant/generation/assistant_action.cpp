#include "assistant/generation/assistant_action.h"

#include <algorithm>

namespace lumora {

namespace {

struct ActionNames {
    std::string_view raw;
    std::string_view marker;
};

// Indexed like allAssistantActions.
constexpr std::array<ActionNames, 4> names = {{
    {"text", "0|"},
    {"speak", "1|"},
    {"read-selection", "2|"},
    {"clarify", "3|"},
}};

const ActionNames& namesOf(AssistantAction action) {
    return names[static_cast<std::size_t>(action)];
}

}  // namespace

std::string_view rawValue(AssistantAction action) {
    return namesOf(action).raw;
}

std::string_view marker(AssistantAction action) {
    return namesOf(action).marker;
}

std::optional<AssistantAction> assistantActionFromRaw(std::string_view raw) {
    auto found = std::ranges::find_if(
        allAssistantActions, [&](AssistantAction action) { return rawValue(action) == raw; });
    if (found == allAssistantActions.end()) return std::nullopt;
    return *found;
}

}  // namespace lumora
