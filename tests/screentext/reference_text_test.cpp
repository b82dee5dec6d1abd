#include "screentext/reference_text.h"

#include <gtest/gtest.h>

#include "tests/screentext/line_builders.h"

namespace lumora::ScreenText {
namespace {

using test::lineAt;

// Lines that keep their order: all in one row band at the same x.
std::vector<Line> inOrder(const std::vector<std::string>& texts) {
    std::vector<Line> lines;
    for (const auto& text : texts) lines.push_back(lineAt(text, 0.1, 0.5));
    return lines;
}

const std::string notice(truncationNotice);
const std::string ten(10, 'a');
const std::string sixty(60, 'b');

TEST(ReferenceTextTest, KeepsWholeLinesWithinTheLimitAndAddsTheNoticeWhenItFits) {
    struct Case {
        std::vector<std::string> texts;
        std::size_t limit;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{"ab", "cd"}, 6, "ab\ncd\n"},
        {{"ab", "cd"}, 5, "ab\n"},
        {{ten, sixty}, 72, ten + "\n" + sixty + "\n"},
        {{ten, sixty}, 71, ten + "\n" + notice},
        {{ten, sixty}, 67, ten + "\n" + notice},
        {{ten, sixty}, 66, ten + "\n"},
        {{std::string(100, 'x'), "short"}, 60, notice},
        {{std::string(100, 'x'), "short"}, 56, notice},
        {{std::string(100, 'x'), "short"}, 55, ""},
        {{"", "after an empty line"}, 100, "\nafter an empty line\n"},
        {{}, 100, ""},
        {{"x"}, 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reference(inOrder(c.texts), c.limit), c.expected) << c.limit;
    }
    EXPECT_EQ(truncationNotice.size(), 56u);
}

TEST(ReferenceTextTest, CountsUserPerceivedCharacters) {
    // One character each: a family joined by zero-width joiners, and e with a combining acute.
    std::string family;
    for (int i = 0; i < 10; ++i) family += "👩‍👩‍👧";
    std::string accents;
    for (int i = 0; i < 5; ++i) accents += "e\u0301";
    const auto lines = inOrder({family, accents});
    EXPECT_EQ(reference(lines, 17), family + "\n" + accents + "\n");
    EXPECT_EQ(reference(lines, 16), family + "\n");
    EXPECT_EQ(reference(inOrder({accents, sixty, "c"}), 62), accents + "\n" + notice);
}

TEST(ReferenceTextTest, CutsTenThousandCharactersAtTheLastWholeLineBeforeTheDefaultLimit) {
    // 101 lines of 99 characters with their newline: 60 fit in 6000 (5940), and the notice
    // still fits after them.
    std::vector<std::string> texts;
    for (int i = 0; i < 101; ++i) texts.push_back(std::to_string(100 + i) + std::string(95, '.'));
    std::string expected;
    for (int i = 0; i < 60; ++i) expected += texts[i] + "\n";
    EXPECT_EQ(reference(inOrder(texts)), expected + notice);
}

TEST(ReferenceTextTest, PutsTheLinesInReadingOrderFirst) {
    const std::vector<Line> lines = {lineAt("bottom", 0.1, 0.1), lineAt("top", 0.1, 0.9),
                                     lineAt("right", 0.6, 0.5), lineAt("left", 0.1, 0.5)};
    EXPECT_EQ(reference(lines), "top\nleft\nright\nbottom\n");
}

}  // namespace
}  // namespace lumora::ScreenText
