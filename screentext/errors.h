// Failures of the screen-text operations, as the user reads them. Codes 5 and 6 of the same
// domain belong to the recognition engine (platform/linux/tesseract_recognition.h).
#pragma once

#include <string_view>

#include "runtime/error.h"

namespace lumora::ScreenText {

inline constexpr std::string_view errorDomain = "Lumora.ScreenText";

enum class ErrorCode : int {
    passageNotIsolated = 1,
    noReadableText = 2,
    tooMuchText = 3,
    noUsableSummary = 4,
};

std::string_view errorDescription(ErrorCode code);
Error error(ErrorCode code);

}  // namespace lumora::ScreenText
