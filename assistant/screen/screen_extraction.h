// Passage extraction: before answering from a window's OCR, a separate call to the on-device
// model copies out only the passage the request is about (or, when it cannot, a marked
// summary), and the copy is checked against the OCR lines so that no corrected or invented
// text reaches the answer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/language_model.h"
#include "runtime/executor.h"
#include "runtime/task.h"
#include "screentext/screen_text.h"

namespace lumora {

extern const std::string_view screenExtractionInstructions;

// The lines numbered from 0 with their bounds, one per line, without a final newline.
std::string numberedScreenLines(const std::vector<ScreenText::Line>& lines);

// The extraction prompt around the numbered lines and the request.
std::string screenExtractionPrompt(std::string_view numberedLines, std::string_view request);

// `lines` come in reading order from recognizeLines. Fails with "Lumora.ScreenText" code 2
// when there are none and code 3 when the numbered lines reach 12,001 characters, both before
// the model is asked; model errors and cancellation pass through. The model is asked on
// `executor`, in a session of its own.
Task<ScreenText::Extraction> extractScreenContent(platform::LanguageModel& model,
                                                  Executor& executor, std::string request,
                                                  std::vector<ScreenText::Line> lines);

}  // namespace lumora
