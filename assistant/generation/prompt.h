// The texts the assistant model receives and the rules that assemble them: the system
// instructions, the reference block, the user prompt, the summary fallback and the reference
// sent with a screenshot. Pure string builders.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "assistant/generation/assistant_source.h"

namespace lumora::AssistantPrompt {

// The delivery-prefix rules, the selection and screen rules that fit the request's context,
// then the user's writing preference, appended unchanged.
std::string systemInstructions(std::string_view preference, bool hasSelection, bool hasImage,
                               bool hasScreenText);

// The reference block: the source metadata and the selection, joined by a blank line, cut to
// 9,450 characters plus a notice when it reaches 9,501 characters.
std::string referenceContext(std::string_view selectedText,
                             const std::optional<AssistantSource>& source);

// The reference and the previous output, each only when not empty, then the request.
std::string user(std::string_view request, std::string_view reference, std::string_view previous);

// Replace the system instructions and the user prompt when only a summary of the screen
// could be extracted.
extern const std::string_view summaryFallbackInstructions;
std::string summaryPrompt(std::string_view summaryReference, std::string_view request);

// The reference that goes with an attached screenshot: its OCR text, or, when OCR found
// nothing or failed (empty `ocrText`), a note that there is none.
std::string visionReference(std::string_view ocrText);

}  // namespace lumora::AssistantPrompt
