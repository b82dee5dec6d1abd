// Reading order of recognised lines: a two-column page (found by looking for a vertical gutter
// between 0.25 and 0.75 of the width) reads its gutter-crossing heading, then the left column,
// the right column and the gutter-crossing footer; any other page reads row by row, top to
// bottom and left to right within a row. Pure and thread-safe.
#pragma once

#include <vector>

#include "screentext/line.h"

namespace lumora::ScreenText {

// Lines with a coordinate that is not a finite number (or whose right edge or vertical centre
// is not) cannot be placed on the page; they take no part in the column search and come last,
// in their input order.
std::vector<Line> ordered(std::vector<Line> lines);

}  // namespace lumora::ScreenText
