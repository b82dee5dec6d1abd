// The texts the assistant model receives and the rules that assemble them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "assistant/generation/assistant_source.h"

namespace lumora::AssistantPrompt {

// The reference block: the source metadata and the selection, joined by a blank line, cut to
// 9,450 characters plus a notice when it reaches 9,501 characters.
std::string referenceContext(std::string_view selectedText,
                             const std::optional<AssistantSource>& source);

}  // namespace lumora::AssistantPrompt
