// Synthetic OCR lines for the screen-text tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "screentext/line.h"

namespace lumora::ScreenText::test {

inline Line line(std::string text, double x, double y, double width, double height) {
    return {std::move(text), {x, y, width, height}};
}

// A line of no height, so that its vertical centre is exactly `midY`.
inline Line lineAt(std::string text, double x, double midY, double width = 0.1) {
    return line(std::move(text), x, midY, width, 0);
}

// "L3" and the like. (Appending, because GCC 12 warns wrongly about "L" + std::to_string.)
inline std::string numbered(std::string_view prefix, int index) {
    std::string name(prefix);
    name += std::to_string(index);
    return name;
}

inline std::vector<std::string> textsOf(const std::vector<Line>& lines) {
    std::vector<std::string> texts;
    for (const Line& line : lines) texts.push_back(line.text);
    return texts;
}

}  // namespace lumora::ScreenText::test
