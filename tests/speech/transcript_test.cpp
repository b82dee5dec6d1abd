// Recognition results as the recogniser sends them, and the transcript the user gets: revisions
// and restarts merged by time range or text, and the final transcript handed out once, after
// the release.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "assistant/speech/transcript_gate.h"

namespace lumora {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

struct Result {
    std::string text;
    std::optional<double> start = std::nullopt;
    std::optional<double> end = std::nullopt;
    bool complete = false;
};

struct AccumulatorCase {
    std::string name;
    std::vector<Result> results;
    std::string transcript;
};

TEST(TranscriptAccumulatorTest, MergesRevisionsRestartsAndNewStretches) {
    const std::vector<AccumulatorCase> cases = {
        {"partial results revise the text", {{"Write a"}, {"Write a short"}}, "Write a short"},
        {"blank results change nothing", {{"Write"}, {" \n "}}, "Write"},
        {"a finished passage is kept when a new one does not continue it",
         {{"Hello.", {}, {}, true}, {"Next line"}},
         "Hello. Next line"},
        {"a finished passage is replaced by its own continuation",
         {{"Hello", {}, {}, true}, {"Hello there"}},
         "Hello there"},
        {"speech after the last passage's end is a new stretch",
         {{"One", 0.0, 1.0}, {"two", 1.0, 2.0}},
         "One two"},
        {"a result overlapping the last passage replaces it",
         {{"One", 0.0, 1.0}, {"two", 1.2, 2.0}, {"two three", 1.5, 2.5}},
         "One two three"},
        {"a revision reaching back before the last passage drops every passage from its start",
         {{"One", 0.0, 1.0}, {"two", 1.0, 2.0}, {"three", 2.0, 3.0}, {"two again", 1.0, 3.5}},
         "One two again"},
        // Times that counted would make each of these a new stretch after the one before.
        {"an empty time range counts as none",
         {{"One", 0.0, 1.0}, {"One two", 2.0, 2.0}},
         "One two"},
        {"an infinite end counts as none",
         {{"One", 0.0, 1.0}, {"One two", 2.0, infinity}},
         "One two"},
        {"an end that is not a number counts as none",
         {{"One", 0.0, 1.0}, {"One two", 2.0, nan}},
         "One two"},
        {"a negative start counts as none", {{"One two", -1.0, 0.5}, {"three", 0.6, 1.0}}, "three"},
        {"a result repeating all earlier passages restates the transcript",
         {{"Hello", 0.0, 1.0, true}, {"world", 1.0, 2.0}, {"Hello world again"}},
         "Hello world again"},
    };
    for (const AccumulatorCase& c : cases) {
        TranscriptAccumulator accumulator;
        for (const Result& r : c.results) accumulator.update(r.text, r.start, r.end, r.complete);
        EXPECT_EQ(accumulator.text(), c.transcript) << c.name;
    }
}

TEST(TranscriptGateTest, HandsTheFinalTranscriptOutOnceAfterTheRelease) {
    TranscriptGate early;
    EXPECT_EQ(early.recognized("Write a", false, {}, {}, false), std::nullopt);
    EXPECT_EQ(early.recognized("Write a note", true, {}, {}, false), std::nullopt);
    EXPECT_EQ(early.text(), "Write a note");
    EXPECT_EQ(early.release(), "Write a note");
    EXPECT_EQ(early.release(), std::nullopt);
    EXPECT_EQ(early.recognized("Write a note now", true, {}, {}, false), std::nullopt);

    // A partial result after a final one: the release waits for the next final result.
    TranscriptGate revised;
    revised.recognized("Write", true, {}, {}, false);
    revised.recognized("Write a", false, {}, {}, false);
    EXPECT_EQ(revised.release(), std::nullopt);
    EXPECT_EQ(revised.recognized("Write a poem", true, {}, {}, false), "Write a poem");
    EXPECT_EQ(revised.recognized("Write a poem today", true, {}, {}, false), std::nullopt);

    // A complete utterance marks the passage finished, but only a final result is delivered.
    TranscriptGate utterance;
    utterance.release();
    EXPECT_EQ(utterance.recognized("Hello.", false, {}, {}, true), std::nullopt);
    EXPECT_EQ(utterance.recognized("Next", true, {}, {}, false), "Hello. Next");
}

}  // namespace
}  // namespace lumora
