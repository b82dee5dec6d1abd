#include "platform/linux/page_layout.h"

#include <gtest/gtest.h>

namespace lumora::platform {
namespace {

struct LineImageCase {
    const char* name;
    LinePieceGeometry piece;
    PixelBox expected;
};

// A 100x50 page. Tesseract's frame is bottom-up, so each case was worked out there by hand.
const LineImageCase lineImageCases[] = {
    {"words reaching past the row's lines keep their own box, with the margin",
     {{10, 20, 30, 30}, 28, 28, 6.0f, -2.0f},
     {6, 16, 34, 34}},
    {"a row whose ascender and descender lines lie outside the words stretches the box",
     {{10, 20, 30, 28}, 27, 27, 14.5f, -4.5f},
     {6, 13, 34, 36}},
    {"a sloping baseline is taken at the middle of the words",
     {{0, 22, 40, 28}, 30, 20, 9.0f, -3.0f},
     {0, 15, 44, 32}},
    {"fractions are truncated as the engine does, and the box is clipped to the page",
     {{90, 2, 100, 10}, 9, 9, 8.7f, -1.5f},
     {86, 0, 100, 15}},
};

TEST(PageLayoutTest, cutsEachPieceAsTheEnginesPageRunDoes) {
    for (const auto& test : lineImageCases)
        EXPECT_EQ(lineImageBox(test.piece, 100, 50), test.expected) << test.name;
}

TEST(PageLayoutTest, joinsEachLinesPiecesWithSingleSpacesAndLeavesOutLinesWithoutText) {
    const PageLayout layout{
        true, {{{10, 5, 60, 25}, {{}, {}}}, {{0, 30, 50, 40}, {{}}}, {{0, 40, 100, 50}, {{}}}}};
    const auto lines = observedLines(layout, {{"The", "quick"}, {"fox"}, {}, {"end."}}, 100, 50);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (TextObservation{"The quick fox", {0.1, 0.5, 0.5, 0.4}}));
    EXPECT_EQ(lines[1].text, "end.");
    EXPECT_EQ(pieceCount(layout), 4u);
}

}  // namespace
}  // namespace lumora::platform
