#include "screentext/extraction.h"

#include <gtest/gtest.h>

#include <optional>

#include "screentext/errors.h"

namespace lumora::ScreenText {
namespace {

using Texts = std::vector<std::string>;

// The passage, or the error code it failed with.
struct Outcome {
    std::optional<std::string> passage;
    std::optional<int> code;
    bool operator==(const Outcome&) const = default;
};

Outcome passage(std::string text) {
    return {std::move(text), std::nullopt};
}
Outcome failure(ErrorCode code) {
    return {std::nullopt, static_cast<int>(code)};
}

Outcome validate(const std::string& response, const Texts& lines) {
    try {
        return passage(validatedPassage(response, lines));
    } catch (const Error& error) {
        EXPECT_EQ(error.domain, errorDomain);
        return {std::nullopt, error.code};
    }
}

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
    if (outcome.passage) return out << "passage \"" << *outcome.passage << '"';
    return out << "error " << outcome.code.value_or(0);
}

const Texts story = {"Chapter One", "It was a dark", "and stormy night."};
constexpr auto notIsolated = ErrorCode::passageNotIsolated;

TEST(ValidatedPassageTest, AcceptsWholeOcrLinesInOrderWhateverTheWhitespace) {
    struct Case {
        std::string response;
        Texts lines;
        Outcome expected;
    };
    const std::vector<Case> cases = {
        {"Chapter One\nIt was a dark and stormy night.", story,
         passage("Chapter One\nIt was a dark\nand stormy night.")},
        {"It was a dark  and\nstormy night.", story, passage("It was a dark\nand stormy night.")},
        {"\t Chapter One \r\n", story, passage("Chapter One")},
        // No-break, line-separator and ideographic spaces are white space too.
        {"It\u00a0was a\u2028dark\u3000and stormy night.", story,
         passage("It was a dark\nand stormy night.")},
        // The lines come back as recognised, not as normalised.
        {"It was a dark", {"  It  was a   dark "}, passage("  It  was a   dark ")},
        // Lines between matched ones may be skipped, and a repeated line is found again.
        {"Body one Body two",
         {"Toolbar", "Body one", "Page 1", "Body two"},
         passage("Body one\nBody two")},
        {"Text Harrow", {"Harrow", "Text", "Harrow"}, passage("Text\nHarrow")},
        {"Hello", {"   ", "", "Hello", " \t "}, passage("Hello")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(validate(c.response, c.lines), c.expected) << c.response;
    }
}

TEST(ValidatedPassageTest, RefusesAnyCopyThatIsNotMadeOfWholeOcrLines) {
    struct Case {
        std::string response;
        Texts lines;
    };
    const std::vector<Case> cases = {
        {"It was a dark and stormy night.", {"It was a dark", "and stormy nigth."}},
        {"a b c", {"a b", "a", "b c"}},  // the first line is taken greedily; c is left over
        {"and stormy night. It was a dark", story},
        {"It was a", story},
        {"It was a dark and stormy", story},
        {"darkness", {"dark", "ness"}},
        {"It wasn't", {"It was", "n't"}},
        {"chapter one", story},
        {"Chapter One!", story},
        {"Chapter One It was a dark and stormy night. The end.", story},
        {"", story},
        {"  \n\t ", story},
        {"   ", {"   "}},
        {"Chapter One", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(validate(c.response, c.lines), failure(notIsolated)) << c.response;
    }
}

TEST(ExtractionTest, PassesAMarkedSummaryOnAsASummaryAndAnythingElseAsAPassage) {
    struct Case {
        std::string response;
        std::optional<Extraction> expected;
        std::optional<ErrorCode> code;
    };
    const std::vector<Case> cases = {
        {"  SUMMARY_FALLBACK:   The page shows a menu.  ",
         Extraction{"The page shows a menu.", true}, std::nullopt},
        {"\nSUMMARY_FALLBACK:\nFirst point.\n\nSecond point.\n",
         Extraction{"First point.\n\nSecond point.", true}, std::nullopt},
        {"SUMMARY_FALLBACK:The title, then text.", Extraction{"The title, then text.", true},
         std::nullopt},
        {"SUMMARY_FALLBACK:", std::nullopt, ErrorCode::noUsableSummary},
        {" SUMMARY_FALLBACK: \n\t ", std::nullopt, ErrorCode::noUsableSummary},
        {"summary_fallback: The page shows a menu.", std::nullopt, notIsolated},
        {"Summary: SUMMARY_FALLBACK: a menu", std::nullopt, notIsolated},
        // The colon with an accent on it is another character: not the marker.
        {"SUMMARY_FALLBACK:\u0301 a menu", std::nullopt, notIsolated},
        {"  Chapter One\n", Extraction{"Chapter One", false}, std::nullopt},
        {"\n", std::nullopt, notIsolated},
    };
    for (const auto& c : cases) {
        try {
            const Extraction result = extraction(c.response, story);
            ASSERT_TRUE(c.expected) << c.response << " gave " << result.text;
            EXPECT_EQ(result, *c.expected) << c.response;
        } catch (const Error& error) {
            ASSERT_TRUE(c.code) << c.response << " failed with " << error.code;
            EXPECT_EQ(error.domain, errorDomain);
            EXPECT_EQ(error.code, static_cast<int>(*c.code)) << c.response;
        }
    }
}

TEST(ExtractionTest, LabelsTheReferenceByWhatItIs) {
    EXPECT_EQ(
        (Extraction{"Chapter One\nIt was a dark", false}).reference(),
        "EXTRACTED SCREEN PASSAGE (untrusted original OCR text):\nChapter One\nIt was a dark");
    EXPECT_EQ((Extraction{"A menu.", true}).reference(),
              "SCREEN SUMMARY (not a verbatim passage; untrusted OCR-derived summary):\nA menu.");
}

TEST(ScreenTextErrorTest, CarriesTheDomainCodeAndUserFacingMessage) {
    const std::vector<std::pair<ErrorCode, std::string>> cases = {
        {ErrorCode::passageNotIsolated,
         "Could not isolate the requested screen passage without changing its text. Select the "
         "passage or capture a smaller region."},
        {ErrorCode::noReadableText,
         "No readable screen text was found. Select the passage or capture a smaller region."},
        {ErrorCode::tooMuchText,
         "This window contains too much text. Select the passage or capture a smaller region."},
        {ErrorCode::noUsableSummary,
         "No usable screen summary was returned. Select the passage you want read."},
    };
    int code = 1;
    for (const auto& [kind, description] : cases) {
        const Error made = error(kind);
        EXPECT_EQ(made.domain, "Lumora.ScreenText");
        EXPECT_EQ(made.code, code++);
        EXPECT_EQ(made.description, description);
    }
}

}  // namespace
}  // namespace lumora::ScreenText
