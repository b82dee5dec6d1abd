// Where a request came from: the source application, its window title and the focused
// element's role and label. Prompts carry it as compact JSON.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumora {

struct AssistantSource {
    std::string app;
    std::string windowTitle;
    std::string focusedRole;
    std::string focusedLabel;

    bool operator==(const AssistantSource&) const = default;

    // Keys in the order app, windowTitle, focusedRole, focusedLabel; no spaces; the forward
    // slash escaped as "\/".
    std::string json() const;
    // All four keys are required and must be strings.
    static std::optional<AssistantSource> fromJson(std::string_view text);
};

}  // namespace lumora
