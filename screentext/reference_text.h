// The plain-text OCR reference used in prompts and reader replies: the lines in reading order,
// each followed by a newline, cut at a whole line so that it stays within a limit counted in
// user-perceived characters, with a notice when something was left out and the notice fits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "screentext/line.h"

namespace lumora::ScreenText {

inline constexpr std::size_t defaultReferenceLimit = 6000;
inline constexpr std::string_view truncationNotice =
    "[OCR truncated; consult the image for remaining content]";

// Orders the lines itself; the input need not be in reading order.
std::string reference(const std::vector<Line>& lines, std::size_t limit = defaultReferenceLimit);

}  // namespace lumora::ScreenText
