// Scenario values that several sections share: rectangles, text ranges, pictures, errors.
#pragma once

#include "platform/geometry.h"
#include "platform/sim/scenario_reader.h"
#include "platform/sim/window_image.h"
#include "runtime/error.h"

namespace lumora::sim {

// {"x", "y", "width", "height"}, each defaulting to 0.
platform::Rect readRect(ScenarioObject object);
// {"location", "length"} in UTF-16 units, both required.
platform::TextRange readRange(ScenarioObject object);
// {"path": PNG file} or {"width", "height", "fill": "#RRGGBB" or "#RRGGBBAA"}.
WindowImage readImage(ScenarioObject object);
// {"domain", "code", "description"} as the platform would report it.
Error readError(ScenarioObject object);

}  // namespace lumora::sim
