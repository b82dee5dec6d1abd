#include "platform/linux/page_layout.h"

#include <algorithm>

namespace lumora::platform {

// Tesseract works bottom-up; the arithmetic is done in its frame and with its float-to-int
// truncation so that the cut matches its own to the pixel. Only the baseline is known to the
// nearest row (the engine keeps it as a spline), so a cut can still be one row off.
PixelBox lineImageBox(const LinePieceGeometry& piece, int pageWidth, int pageHeight) {
    constexpr int margin = 4;
    const int left = piece.words.left;
    const int right = piece.words.right;
    int bottom = pageHeight - piece.words.bottom;
    int top = pageHeight - piece.words.top;
    const int middle = (left + right) / 2;
    const float atLeft = static_cast<float>(pageHeight - piece.baselineAtLeft);
    const float atRight = static_cast<float>(pageHeight - piece.baselineAtRight);
    const float baseline = right == left
                               ? atLeft
                               : atLeft + (atRight - atLeft) * static_cast<float>(middle - left) /
                                              static_cast<float>(right - left);
    if (baseline + piece.descenders < static_cast<float>(bottom))
        bottom = static_cast<int>(baseline + piece.descenders);
    const float ascenderLine = baseline + piece.rowHeight + piece.descenders;
    if (ascenderLine > static_cast<float>(top)) top = static_cast<int>(ascenderLine);
    return PixelBox{std::max(left - margin, 0), std::max(pageHeight - (top + margin), 0),
                    std::min(right + margin, pageWidth),
                    std::min(pageHeight - (bottom - margin), pageHeight)};
}

std::size_t pieceCount(const PageLayout& layout) {
    std::size_t count = 0;
    for (const auto& line : layout.lines) count += line.pieceImages.size();
    return count;
}

std::vector<TextObservation> observedLines(const PageLayout& layout,
                                           const std::vector<std::vector<std::string>>& pieceWords,
                                           int pageWidth, int pageHeight) {
    std::vector<TextObservation> observations;
    auto words = pieceWords.begin();
    for (const auto& line : layout.lines) {
        std::string text;
        bool first = true;
        for (std::size_t piece = 0; piece < line.pieceImages.size(); ++piece, ++words)
            for (const auto& word : *words) {
                if (!first) text += ' ';
                text += word;
                first = false;
            }
        if (!text.empty())
            observations.push_back(
                {std::move(text), normalisedBox(line.box, pageWidth, pageHeight)});
    }
    return observations;
}

Rect normalisedBox(const PixelBox& box, int pageWidth, int pageHeight) {
    const double width = pageWidth;
    const double height = pageHeight;
    return Rect{box.left / width, 1.0 - box.bottom / height, (box.right - box.left) / width,
                (box.bottom - box.top) / height};
}

}  // namespace lumora::platform
