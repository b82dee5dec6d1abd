// Screen text from a bitmap: the recognition port runs on the executor, off the loop, and
// its observations come back as lines in reading order.
#pragma once

#include <string>
#include <vector>

#include "platform/images.h"
#include "platform/text_recognition.h"
#include "runtime/executor.h"
#include "runtime/task.h"
#include "screentext/line.h"

namespace lumora::ScreenText {

// The lines of the image, in reading order. Cancelling the awaiting task ends it at once with
// Cancelled and stops the engine through its stop token; the run also checks for a stop just
// before and just after the engine call. Recognition failures propagate unchanged. The
// recogniser must outlive the work queued on `executor`.
Task<std::vector<Line>> recognizeLines(platform::TextRecognition& recognition, Executor& executor,
                                       platform::Image image);

// The reference text (limit 6000) of the lines recognizeLines finds in the image.
Task<std::string> recognize(platform::TextRecognition& recognition, Executor& executor,
                            platform::Image image);

}  // namespace lumora::ScreenText
