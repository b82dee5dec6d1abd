// A page as layout analysis leaves it for a line recogniser: text lines in the engine's reading
// order (blocks, then lines within a block), each cut into the pieces its recogniser reads one
// at a time, and how the pieces' words become the port's observations again.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/linux/pixel_box.h"
#include "platform/text_recognition.h"

namespace lumora::platform {

// Where layout analysis puts one piece of a line: the box of its words, the row's baseline at
// the box's left and right edges (image rows), and the row's height and descender depth.
struct LinePieceGeometry {
    PixelBox words;
    int baselineAtLeft = 0;
    int baselineAtRight = 0;
    float rowHeight = 0;
    float descenders = 0;
};

struct LayoutLine {
    PixelBox box;
    std::vector<PixelBox> pieceImages;
};

struct PageLayout {
    // Every block holds upright lines read left to right; pieces of other text cannot be cut
    // out as the engine cuts them.
    bool horizontal = true;
    std::vector<LayoutLine> lines;
};

// The picture Tesseract's own page run hands its line recogniser for this piece: the words'
// box stretched to the row's ascender and descender lines at its middle, four pixels of margin,
// clipped to the page.
PixelBox lineImageBox(const LinePieceGeometry& piece, int pageWidth, int pageHeight);

std::size_t pieceCount(const PageLayout& layout);

// The lines with their pieces' words (one list per piece, in layout order) joined by single
// spaces, as the engine's own text of a line; lines without text are left out.
std::vector<TextObservation> observedLines(const PageLayout& layout,
                                           const std::vector<std::vector<std::string>>& pieceWords,
                                           int pageWidth, int pageHeight);

// A box normalised to the page, origin at the bottom-left.
Rect normalisedBox(const PixelBox& box, int pageWidth, int pageHeight);

}  // namespace lumora::platform
