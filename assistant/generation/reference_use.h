// Which source of context a request needs, decided by a short call to the on-device model
// before it answers: none, the user's selection, or the visible screen. It keeps unrelated
// selections and screenshots out of prompts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/language_model.h"
#include "runtime/executor.h"
#include "runtime/task.h"

namespace lumora {

enum class AssistantReferenceUse { none, selection, screen };

// "none", "selection", "screen".
std::string_view rawValue(AssistantReferenceUse use);
std::optional<AssistantReferenceUse> assistantReferenceUseFromRaw(std::string_view raw);

// `hasSelection`: a selection with non-blank content exists; `hasScreen`: a window screenshot
// was captured. Without either the model is not asked; otherwise one greedy response of the
// default model on `executor` decides. An answer other than the three words
// fails with "Lumora.Context" code 1, keeping the answer under "response"; model errors
// propagate, and cancelling the awaiting task ends it with Cancelled.
Task<AssistantReferenceUse> assistantReferenceUse(platform::LanguageModel& model,
                                                  Executor& executor, std::string request,
                                                  bool hasSelection, bool hasScreen);

}  // namespace lumora
