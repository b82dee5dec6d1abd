#include "runtime/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace lumora::text {
namespace {

// Clusters the ASCII fast path never sees.
const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
const std::string astronaut = "\U0001F469\U0001F3FD\u200D\U0001F680";  // skin tone inside ZWJ
const std::string rainbowFlag = "\U0001F3F3\uFE0F\u200D\U0001F308";
const std::string flagDE = "\U0001F1E9\U0001F1EA";
const std::string flagFR = "\U0001F1EB\U0001F1F7";
const std::string thumbsMedium = "\U0001F44D\U0001F3FD";
const std::string eAcute = "e\u0301";
const std::string keycapOne = "1\uFE0F\u20E3";
const std::string hangulSyllable = "\u1100\u1161\u11A8";  // leading, vowel and trailing jamo
const std::string grin = "\U0001F600";

struct CountCase {
    std::string text;
    std::size_t characters;
};

TEST(CharacterCount, CountsUserPerceivedCharacters) {
    const std::vector<CountCase> cases = {
        {"", 0},
        {"abc", 3},
        {"a\r\nb", 3},
        {"\r\n\r\n", 2},
        {"\n\r", 2},
        {"\r\r\n", 2},
        {eAcute, 1},
        {"caf" + eAcute + "!", 5},
        {"e\u0301\u0302", 1},
        {"\u00E9", 1},
        {family, 1},
        {family + family, 2},
        {astronaut, 1},
        {rainbowFlag, 1},
        {flagDE + flagFR, 2},
        {flagDE + "\U0001F1EB", 2},
        {thumbsMedium, 1},
        {thumbsMedium + "\U0001F44D", 2},
        {keycapOne, 1},
        {hangulSyllable, 1},
        {grin + "a", 2},
        {"\u00E9\r\nx", 3},
        {"x" + family + "\r\n" + flagDE + eAcute, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(characterCount(c.text), c.characters);
    }
}

struct PrefixCase {
    std::string text;
    std::size_t count;
    std::string prefix;
};

TEST(CharacterPrefix, NeverSplitsACluster) {
    const std::vector<PrefixCase> cases = {
        {"", 3, ""},
        {"abc", 0, ""},
        {"abc", 2, "ab"},
        {"abc", 3, "abc"},
        {"abc", 10, "abc"},
        {"a\r\nb", 1, "a"},
        {"a\r\nb", 2, "a\r\n"},
        {"\r\n\r\n", 1, "\r\n"},
        {eAcute + "x", 1, eAcute},
        {family + "x", 1, family},
        {family + "x", 2, family + "x"},
        {flagDE + flagFR, 1, flagDE},
        {flagDE + flagFR + flagDE, 2, flagDE + flagFR},
        {thumbsMedium + "\U0001F44D", 1, thumbsMedium},
        {astronaut + "!", 1, astronaut},
        {"\u00E9\r\nx", 2, "\u00E9\r\n"},
        {"x" + family, 1, "x"},
        {family, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " / " + std::to_string(c.count));
        EXPECT_EQ(characterPrefix(c.text, c.count), c.prefix);
    }
}

TEST(CharacterEnds, AgreeWithEveryPrefix) {
    for (const std::string& text :
         {std::string(), std::string("abc"), std::string("a\r\nb\r\n\r"), eAcute + "x" + family,
          flagDE + flagFR + flagDE, thumbsMedium + "\U0001F44D" + astronaut + "!",
          "\u00E9\r\nx" + family}) {
        SCOPED_TRACE(text);
        std::vector<std::size_t> ends = characterEnds(text);
        ASSERT_EQ(ends.size(), characterCount(text));
        for (std::size_t n = 1; n <= ends.size(); ++n) {
            EXPECT_EQ(ends[n - 1], characterPrefix(text, n).size()) << n;
        }
    }
}

TEST(CharacterPrefix, IsAViewIntoTheGivenText) {
    std::string text = family + "tail";
    std::string_view prefix = characterPrefix(text, 2);
    EXPECT_EQ(prefix.data(), text.data());
    EXPECT_EQ(prefix.size(), family.size() + 1);
}

TEST(Utf16Length, CountsSurrogatePairsAsTwoUnits) {
    const std::vector<CountCase> cases = {
        {"", 0},     {"abc", 3},        {"\u00E9", 1},     {"\u20AC", 1},         {"\uFFFD", 1},
        {grin, 2},   {"\U00010000", 2}, {"\U0010FFFF", 2}, {"a" + grin + "b", 4}, {family, 11},
        {flagDE, 4}, {eAcute, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(utf16Length(c.text), c.characters);
    }
}

// Long texts of one- to four-byte characters at every alignment, measured against the units
// each character is known to need, and mapped back from every unit count.
TEST(Utf16Length, LongMixedTextsAgreeWithTheirCharactersAndOffsets) {
    const std::vector<std::pair<std::string, std::size_t>> pieces = {
        {"a", 1}, {"\u00E9", 1}, {"\u20AC", 1}, {grin, 2}, {"\U0010FFFF", 2}, {"\x7F", 1}};
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        std::string text;
        std::size_t units = 0;
        std::vector<std::size_t> starts;  // byte offset of the character holding each unit
        for (int n = static_cast<int>(random() % 40); n > 0; --n) {
            const auto& [piece, pieceUnits] = pieces[random() % pieces.size()];
            for (std::size_t u = 0; u < pieceUnits; ++u) starts.push_back(text.size());
            text += piece;
            units += pieceUnits;
        }
        SCOPED_TRACE(text);
        ASSERT_EQ(utf16Length(text), units);
        for (std::size_t u = 0; u < units; ++u) {
            ASSERT_EQ(byteOffsetOfUtf16(text, u), starts[u]) << u;
        }
        EXPECT_EQ(byteOffsetOfUtf16(text, units), text.size());
    }
}

struct OffsetCase {
    std::size_t units;
    std::size_t bytes;
};

TEST(ByteOffsetOfUtf16, MapsUnitsToBytesAndSurrogateHalvesToTheCharacterStart) {
    const std::string text =
        "a" + grin + "b\u00E9\u20AC";  // bytes: a 0, grin 1-4, b 5, é 6-7, € 8-10
    const std::vector<OffsetCase> cases = {
        {0, 0}, {1, 1}, {2, 1}, {3, 5}, {4, 6}, {5, 8}, {6, 11}, {7, 11}, {1000, 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.units);
        EXPECT_EQ(byteOffsetOfUtf16(text, c.units), c.bytes);
    }
    EXPECT_EQ(byteOffsetOfUtf16("", 0), 0u);
    EXPECT_EQ(byteOffsetOfUtf16("", 3), 0u);
}

TEST(CodePointOffsets, RoundTripThroughUtf16AcrossEmojiAndCombiningMarks) {
    // code points: a 0, grin 1, e 2, combining acute 3, b 4; units: a 0, grin 1-2, e 3, ´ 4, b 5
    const std::string text = "a" + grin + "e\u0301b";
    const std::vector<std::size_t> unitsOfPoint = {0, 1, 3, 4, 5, 6};
    for (std::size_t point = 0; point < unitsOfPoint.size(); ++point) {
        SCOPED_TRACE(point);
        EXPECT_EQ(utf16OffsetOfCodePoint(text, point), unitsOfPoint[point]);
        EXPECT_EQ(codePointOffsetOfUtf16(text, unitsOfPoint[point]), point);
    }
    EXPECT_EQ(codePointOffsetOfUtf16(text, 2), 1u);  // inside the pair: the emoji's start
    EXPECT_EQ(utf16OffsetOfCodePoint(text, 99), 6u);
    EXPECT_EQ(codePointOffsetOfUtf16(text, 99), 5u);
}

struct SliceCase {
    std::size_t location;
    std::size_t length;
    std::string slice;
};

TEST(Utf16Slice, CutsUtf16RangesClampedToTheText) {
    const std::string text = "a" + grin + "b\u00E9";  // units: a 0, grin 1-2, b 3, é 4
    const std::vector<SliceCase> cases = {
        {0, 1, "a"},
        {1, 2, grin},
        {0, 5, text},
        {3, 2, "b\u00E9"},
        {1, 1, ""},    // only the high surrogate: nothing whole
        {2, 1, grin},  // starts on the low surrogate: the character it belongs to
        {2, 2, grin + "b"},
        {4, 10, "\u00E9"},
        {5, 1, ""},
        {9, 3, ""},
        {0, 0, ""},
        {0, SIZE_MAX, text},
        {3, SIZE_MAX, "b\u00E9"},
        {SIZE_MAX, SIZE_MAX, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.location) + "+" + std::to_string(c.length));
        EXPECT_EQ(utf16Slice(text, c.location, c.length), c.slice);
    }
}

TEST(Whitespace, ClassifiesSpacesAndLineBreaks) {
    for (char32_t c : {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x2007,
                       0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000}) {
        EXPECT_TRUE(isWhitespaceOrNewline(c)) << std::hex << static_cast<std::uint32_t>(c);
    }
    for (char32_t c : {0x00, 0x08, 0x0E, 0x1F, 0x21, 0x41, 0x7F, 0x84, 0x180E, 0x200B, 0x200D,
                       0x2060, 0xFEFF, 0x1F600}) {
        EXPECT_FALSE(isWhitespaceOrNewline(c)) << std::hex << static_cast<std::uint32_t>(c);
    }
}

struct TrimCase {
    std::string text;
    std::string trimmed;
};

TEST(Trim, RemovesWhitespaceAndLineBreaksAtBothEnds) {
    const std::vector<TrimCase> cases = {
        {"", ""},
        {"   ", ""},
        {"\t\r\n", ""},
        {"abc", "abc"},
        {"  a b  ", "a b"},
        {"\t\n x \r\n", "x"},
        {"\v\fx\v\f", "x"},
        {"\u00A0x\u00A0", "x"},
        {"\u2028x\u2029", "x"},
        {"\u0085x\u0085", "x"},
        {"\u3000\u2003x\u202F", "x"},
        {"x\u00A0\ty", "x\u00A0\ty"},
        {"\u200Bx\u200B", "\u200Bx\u200B"},
        {" " + family + " ", family},
        {"\u00A0", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(trimWhitespaceAndNewlines(c.text), c.trimmed);
        EXPECT_EQ(isBlank(c.text), c.trimmed.empty());
    }
}

struct SplitCase {
    std::string text;
    std::vector<std::string> pieces;
};

TEST(SplitAtWhitespace, ReturnsTheNonEmptyPiecesBetweenRuns) {
    const std::vector<SplitCase> cases = {
        {"", {}},
        {" \t\n ", {}},
        {"word", {"word"}},
        {"  a  b\tc\n", {"a", "b", "c"}},
        {"a\r\n\r\nb", {"a", "b"}},
        {"a\u00A0b\u2028c\u0085d", {"a", "b", "c", "d"}},
        {"h\u00E9llo w\u00F6rld", {"h\u00E9llo", "w\u00F6rld"}},
        {family + " " + flagDE, {family, flagDE}},
        {"zero\u200Bwidth", {"zero\u200Bwidth"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> pieces;
        for (std::string_view piece : splitAtWhitespace(c.text)) pieces.emplace_back(piece);
        EXPECT_EQ(pieces, c.pieces);
    }
}

const std::string fffd = "\uFFFD";

struct SanitizeCase {
    std::string bytes;
    std::string clean;
};

TEST(SanitizeUtf8, ReplacesEachIllFormedSequenceAndKeepsValidText) {
    const std::vector<SanitizeCase> cases = {
        {"", ""},
        {"plain", "plain"},
        {"h\u00E9llo \u20AC " + grin + family, "h\u00E9llo \u20AC " + grin + family},
        {"\uFFFD", "\uFFFD"},
        {"\U0010FFFF", "\U0010FFFF"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
        {"a\xFF"
         "b",
         "a" + fffd + "b"},
        {"\xFE\xFF", fffd + fffd},
        {"\x80", fffd},
        {"\x80\x80", fffd + fffd},
        {"\xC3", fffd},  // truncated at the end
        {"\xC3"
         "a",
         fffd + "a"},
        {"\xE2\x82", fffd},  // truncated three-byte sequence
        {"\xE2\x82"
         "x",
         fffd + "x"},
        {"\xF0\x9F\x98", fffd},  // truncated four-byte sequence
        {"\xF0\x9F\x98"
         "\xF0\x9F\x98\x80",
         fffd + grin},
        {"\xC0\xAF", fffd + fffd},  // overlong "/"
        {"\xC1\xBF", fffd + fffd},
        {"\xE0\x80\xAF", fffd + fffd + fffd},  // overlong, three bytes
        {"\xF0\x80\x80\xAF", fffd + fffd + fffd + fffd},
        {"\xED\xA0\x80", fffd + fffd + fffd},             // a UTF-16 surrogate
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // past U+10FFFF
        {"\xF5\x80", fffd + fffd},
        {"ok\xE2\x82\xACok\xE2\x82", "ok\u20ACok" + fffd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        EXPECT_EQ(sanitizeUtf8(c.bytes), c.clean);
        EXPECT_EQ(isValidUtf8(c.bytes), c.bytes == c.clean);
        EXPECT_TRUE(isValidUtf8(sanitizeUtf8(c.bytes)));
    }
}

TEST(ReplaceAll, ReplacesEveryNonOverlappingOccurrence) {
    EXPECT_EQ(replaceAll("a/b/c", "/", "\\/"), "a\\/b\\/c");
    EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(replaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(replaceAll("", "a", "b"), "");
    EXPECT_EQ(replaceAll("abab", "ab", ""), "");
    EXPECT_EQ(replaceAll("xyz", "q", "r"), "xyz");
    EXPECT_EQ(replaceAll("aXbXc", "X", "XX"), "aXXbXXc");
}

}  // namespace
}  // namespace lumora::text
