// What to do with an answer, as the model's two-character delivery prefix says, and the reply
// decoded from the model's output.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace lumora {

enum class AssistantAction { text, speak, readSelection, clarify };

// In marker order: the digit of each action's marker is its position here.
inline constexpr std::array<AssistantAction, 4> allAssistantActions = {
    AssistantAction::text, AssistantAction::speak, AssistantAction::readSelection,
    AssistantAction::clarify};

// The name on the wire to the app: "text", "speak", "read-selection", "clarify".
std::string_view rawValue(AssistantAction action);
// Exactly one of the four wire names, case-sensitive.
std::optional<AssistantAction> assistantActionFromRaw(std::string_view raw);
// "0|" to "3|".
std::string_view marker(AssistantAction action);

struct AssistantReply {
    AssistantAction action = AssistantAction::text;
    // The answer after the marker; for readSelection, the user's selection.
    std::string text;

    bool operator==(const AssistantReply&) const = default;
};

}  // namespace lumora
