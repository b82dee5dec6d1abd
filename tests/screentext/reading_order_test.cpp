#include "screentext/reading_order.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/screentext/line_builders.h"

namespace lumora::ScreenText {
namespace {

using test::line;
using test::lineAt;
using test::numbered;
using test::textsOf;
using Texts = std::vector<std::string>;

TEST(ReadingOrderTest, ReadsASingleColumnTopToBottomAndEachRowLeftToRight) {
    const std::vector<Line> lines = {
        lineAt("third", 0.1, 0.5),    lineAt("first", 0.1, 0.9), lineAt("row right", 0.6, 0.7),
        lineAt("row left", 0.2, 0.7), lineAt("last", 0.1, 0.1),
    };
    EXPECT_EQ(textsOf(ordered(lines)), (Texts{"first", "row left", "row right", "third", "last"}));
    EXPECT_EQ(ordered({}), std::vector<Line>{});
}

TEST(ReadingOrderTest, LinesEqualOnBothKeysKeepTheirInputOrder) {
    const std::vector<Line> lines = {lineAt("b", 0.1, 0.5), lineAt("a", 0.1, 0.5),
                                     lineAt("c", 0.1, 0.5)};
    EXPECT_EQ(textsOf(ordered(lines)), (Texts{"b", "a", "c"}));
}

// Left column at x 0.05-0.40, right column at 0.60-0.95, rows at 0.8, 0.7, 0.6 and 0.5.
std::vector<Line> twoColumns() {
    std::vector<Line> lines;
    for (int row = 0; row < 4; ++row) {
        const double midY = 0.8 - 0.1 * row;
        lines.push_back(lineAt(numbered("L", row + 1), 0.05, midY, 0.35));
        lines.push_back(lineAt(numbered("R", row + 1), 0.60, midY, 0.35));
    }
    return lines;
}

TEST(ReadingOrderTest, ReadsTheHeadingThenEachColumnThenTheFooter) {
    std::vector<Line> lines = twoColumns();
    lines.push_back(line("Footer", 0.3, 0.05, 0.4, 0.03));
    lines.insert(lines.begin() + 3, line("Heading", 0.2, 0.9, 0.6, 0.05));
    EXPECT_EQ(textsOf(ordered(lines)),
              (Texts{"Heading", "L1", "L2", "L3", "L4", "R1", "R2", "R3", "R4", "Footer"}));
}

TEST(ReadingOrderTest, SplitsGutterCrossingLinesAtTheUpperMedianOfTheColumnCentres) {
    // Column centres 0.8 0.7 0.6 0.5 (left) and 0.75 0.65 0.55 0.45 (right): sorted, the
    // element at index 4 of 8 is 0.65, the upper of the two middle values.
    std::vector<Line> lines;
    for (int row = 0; row < 4; ++row) {
        lines.push_back(line(numbered("L", row + 1), 0.05, 0.79 - 0.1 * row, 0.35, 0.02));
        lines.push_back(line(numbered("R", row + 1), 0.60, 0.74 - 0.1 * row, 0.35, 0.02));
    }
    // The same box as R2, so its centre is the median exactly.
    lines.push_back(line("at the median", 0.2, lines[3].bounds.y, 0.6, 0.02));
    // Above the lower middle value (0.6) but below the median.
    lines.push_back(line("just below", 0.2, 0.61, 0.6, 0.02));
    EXPECT_EQ(textsOf(ordered(lines)), (Texts{"at the median", "L1", "L2", "L3", "L4", "R1", "R2",
                                              "R3", "R4", "just below"}));
}

struct StraddleCase {
    int rows;
    int leftOnly;  // extra left lines below the rows
    int straddlers;
    bool columns;
};

// `rows` rows of a left and a right line, then `leftOnly` more left lines, under `straddlers`
// lines that cross every candidate gutter.
std::vector<Line> page(const StraddleCase& c) {
    std::vector<Line> lines;
    for (int i = 0; i < c.straddlers; ++i)
        lines.push_back(lineAt(numbered("S", i), 0.1, 0.97 - 0.03 * i, 0.8));
    for (int row = 0; row < c.rows + c.leftOnly; ++row) {
        const double midY = 0.8 - 0.04 * row;
        lines.push_back(lineAt(numbered("L", row), 0.05, midY, 0.15));
        if (row < c.rows) lines.push_back(lineAt(numbered("R", row), 0.8, midY, 0.15));
    }
    return lines;
}

Texts expectedOrder(const StraddleCase& c) {
    Texts texts;
    for (int i = 0; i < c.straddlers; ++i) texts.push_back(numbered("S", i));
    const int leftRows = c.rows + c.leftOnly;
    if (c.columns) {
        for (int row = 0; row < leftRows; ++row) texts.push_back(numbered("L", row));
        for (int row = 0; row < c.rows; ++row) texts.push_back(numbered("R", row));
    } else {
        for (int row = 0; row < leftRows; ++row) {
            texts.push_back(numbered("L", row));
            if (row < c.rows) texts.push_back(numbered("R", row));
        }
    }
    return texts;
}

TEST(ReadingOrderTest, NeedsFourLinesAColumnAndFewCrossingLines) {
    const std::vector<StraddleCase> cases = {
        {3, 1, 0, false},   // 7 lines: the right column has only 3
        {4, 0, 0, true},    // 8 lines
        {8, 0, 2, true},    // 18 lines, 2 crossing
        {8, 1, 2, true},    // 19 lines, 2 crossing
        {8, 0, 3, false},   // 19 lines, 3 crossing
        {9, 0, 2, true},    // 20 lines, 2 crossing: a tenth
        {8, 1, 3, false},   // 20 lines, 3 crossing
        {9, 0, 3, false},   // 21 lines, 3 crossing: more than a tenth, rounded down
        {13, 1, 3, true},   // 30 lines, 3 crossing
        {13, 0, 4, false},  // 30 lines, 4 crossing
    };
    for (const auto& c : cases) {
        const auto lines = page(c);
        EXPECT_EQ(textsOf(ordered(lines)), expectedOrder(c))
            << lines.size() << " lines, " << c.straddlers << " crossing";
    }
}

// Three groups: A (x 0.0625-0.25), B (0.375-0.5625) and C (0.8125-1.0), with binary-exact
// edges so that scores compare exactly. Splitting between A and B scores 0.125 × min(|A|,
// |B|+|C|); splitting between B and C scores 0.25 × min(|A|+|B|, |C|); B is four lines.
std::vector<Line> threeGroups(int a, int c) {
    std::vector<Line> lines;
    for (int i = 0; i < a; ++i)
        lines.push_back(lineAt(numbered("A", i), 0.0625, 0.9 - 0.05 * i, 0.1875));
    for (int i = 0; i < std::max(4, c); ++i) {
        const double midY = 0.875 - 0.05 * i;
        if (i < 4) lines.push_back(lineAt(numbered("B", i), 0.375, midY, 0.1875));
        if (i < c) lines.push_back(lineAt(numbered("C", i), 0.8125, midY, 0.1875));
    }
    return lines;
}

TEST(ReadingOrderTest, TakesTheBestScoringGutterAndTheLeftmostOfEqualScores) {
    // Equal scores (1.0 and 1.0): A | B and C.
    EXPECT_EQ(textsOf(ordered(threeGroups(8, 4))),
              (Texts{"A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7", "B0", "C0", "B1", "C1", "B2",
                     "C2", "B3", "C3"}));
    // The right gutter scores higher (0.25 × 5 against 0.125 × 8): A and B | C.
    EXPECT_EQ(textsOf(ordered(threeGroups(8, 5))),
              (Texts{"A0", "B0", "A1", "B1", "A2", "B2", "A3", "B3", "A4", "A5", "A6", "A7", "C0",
                     "C1", "C2", "C3", "C4"}));
}

TEST(ReadingOrderTest, TreatsCentresInTheSameHundredthOfTheHeightAsOneRow) {
    struct Case {
        double leftMidY;
        double rightMidY;
        Texts order;
    };
    const std::vector<Case> cases = {
        {0.496, 0.504, {"left", "right"}},  // both round to 50
        {0.494, 0.506, {"right", "left"}},  // 49 and 51
        {0.12, 0.125, {"right", "left"}},   // 12.5 rounds away from zero, to 13
        {0.13, 0.125, {"left", "right"}},   // both 13
    };
    for (const auto& c : cases) {
        const std::vector<Line> lines = {lineAt("right", 0.6, c.rightMidY),
                                         lineAt("left", 0.1, c.leftMidY)};
        EXPECT_EQ(textsOf(ordered(lines)), c.order) << c.leftMidY << " " << c.rightMidY;
    }
}

TEST(ReadingOrderTest, PutsLinesWithoutFiniteCoordinatesLastInInputOrder) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    std::vector<Line> lines = twoColumns();
    // Were they counted as gutter-crossing lines, three of them would make one column.
    lines.insert(lines.begin(), line("no x", nan, 0.5, 0.1, 0.1));
    lines.insert(lines.begin() + 4, line("no height", 0.1, 0.5, 0.1, inf));
    lines.push_back(line("overflowing edge", 1e308, 0.5, 1e308, 0.1));
    lines.push_back(line("negative infinity", 0.1, -inf, 0.1, 0.1));
    EXPECT_EQ(textsOf(ordered(lines)),
              (Texts{"L1", "L2", "L3", "L4", "R1", "R2", "R3", "R4", "no x", "no height",
                     "overflowing edge", "negative infinity"}));

    const std::vector<Line> few = {line("nan", 0.1, nan, 0.1, 0.1), lineAt("low", 0.1, 0.2),
                                   lineAt("high", 0.1, 0.8)};
    EXPECT_EQ(textsOf(ordered(few)), (Texts{"high", "low", "nan"}));
}

}  // namespace
}  // namespace lumora::ScreenText
