// One recognised line of screen text.
#pragma once

#include <string>

#include "platform/geometry.h"

namespace lumora::ScreenText {

struct Line {
    // The recogniser's top candidate, exactly as recognised: not trimmed, not normalised.
    std::string text;
    // Normalised to 0–1 of the image, origin at the bottom-left corner, y growing upwards.
    platform::Rect bounds;
    bool operator==(const Line&) const = default;
};

}  // namespace lumora::ScreenText
