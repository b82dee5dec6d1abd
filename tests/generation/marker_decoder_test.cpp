#include "assistant/generation/marker_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "tests/generation/reply_outcomes.h"

namespace lumora {
namespace {

using namespace reply_outcomes;
using Action = AssistantAction;

const Outcome missingSelection = AssistantProtocolError::missingSelection();
const Outcome emptyResponse = AssistantProtocolError::emptyResponse();

std::string repeated(std::string_view piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += piece;
    return text;
}

TEST(AssistantActionTest, NamesAndMarkersFollowTheIndexOrder) {
    struct Case {
        Action action;
        std::string_view raw;
        std::string_view marker;
    };
    const std::vector<Case> cases = {
        {Action::text, "text", "0|"},
        {Action::speak, "speak", "1|"},
        {Action::readSelection, "read-selection", "2|"},
        {Action::clarify, "clarify", "3|"},
    };
    ASSERT_EQ(allAssistantActions.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(allAssistantActions[i], cases[i].action);
        EXPECT_EQ(rawValue(cases[i].action), cases[i].raw);
        EXPECT_EQ(marker(cases[i].action), cases[i].marker);
        EXPECT_EQ(assistantActionFromRaw(cases[i].raw), cases[i].action);
    }
    for (std::string_view raw : {"", "Text", "readSelection", "read_selection", " speak", "0|"}) {
        EXPECT_EQ(assistantActionFromRaw(raw), std::nullopt) << raw;
    }
}

TEST(AssistantMarkerDecoderTest, FirstSnapshot) {
    struct Case {
        std::string snapshot;
        std::string selection;
        Outcome expected;
    };
    const std::string prose200 = repeated("Plain prose without a prefix. ", 7).substr(0, 200);
    const std::vector<Case> cases = {
        // Still able to become a marker.
        {"", "", nothing},
        {"0", "", nothing},
        {"1", "", nothing},
        {"2", "abc", nothing},
        {"3", "", nothing},
        {"0|", "", nothing},
        {"2|", "abc", nothing},
        {"0|\n", "", nothing},
        {"0|\r\n", "", nothing},
        // Never a marker.
        {"4|Hi", "", invalid("4|Hi")},
        {"x", "", invalid("x")},
        {"0x", "", invalid("0x")},
        {"00|", "", invalid("00|")},
        {"|", "", invalid("|")},
        {" 0|Hi", "", invalid(" 0|Hi")},
        {"\n0|Hi", "", invalid("\n0|Hi")},
        // The mark joins the bar: the output opens with "0" and an accented bar, no marker.
        {"0|\u0301Hi", "", invalid("0|\u0301Hi")},
        {"3|\u200d", "", invalid("3|\u200d")},
        {"Sure! Here is your poem.", "", invalid("Sure! Here is your poem.")},
        {prose200, "", invalid(prose200.substr(0, 80))},
        {repeated("🇫🇷", 100), "", invalid(repeated("🇫🇷", 80))},
        {repeated("a😀👩‍👩‍👧", 50), "",
         invalid(repeated("a😀👩‍👩‍👧", 26) + "a😀")},
        // One line break after the marker is part of the prefix.
        {"0|Hel", "", reply(Action::text, "Hel")},
        {"0|\nHello", "", reply(Action::text, "Hello")},
        {"0|\r\nHello", "", reply(Action::text, "Hello")},
        {"0|\n\nHello", "", reply(Action::text, "\nHello")},
        {"0|\r\n\r\nHello", "", reply(Action::text, "\r\nHello")},
        {"0|\rHello", "", reply(Action::text, "\rHello")},
        {"0| Hello", "", reply(Action::text, " Hello")},
        {"0|Hi", "  ", reply(Action::text, "Hi")},
        {"1|Read aloud", "", reply(Action::speak, "Read aloud")},
        {"3|Which file?", "", reply(Action::clarify, "Which file?")},
        // Reading the selection ignores the model's text after the marker.
        {"2|Here it is: abc", "  abc ", reply(Action::readSelection, "  abc ")},
        {"2|abc", " \n\t\r\n ", missingSelection},
        {"2|abc", "", missingSelection},
    };
    for (const auto& c : cases) {
        AssistantMarkerDecoder decoder;
        EXPECT_EQ(outcomeOf([&] { return Outcome(decoder.update(c.snapshot, c.selection)); }),
                  c.expected)
            << "snapshot \"" << c.snapshot << "\" selection \"" << c.selection << "\"";
    }
}

TEST(AssistantMarkerDecoderTest, StreamedSnapshots) {
    struct Case {
        std::string name;
        std::string selection;
        std::vector<std::string> snapshots;
        std::vector<Outcome> expected;
    };
    const std::vector<Case> cases = {
        {"growing answer, repeat suppressed",
         "",
         {"", "0", "0|", "0|Hel", "0|Hello", "0|Hello"},
         {nothing, nothing, nothing, reply(Action::text, "Hel"), reply(Action::text, "Hello"),
          nothing}},
        {"the first marker fixes the action",
         "sel",
         {"1|Hi", "1|Hi 2|x"},
         {reply(Action::speak, "Hi"), reply(Action::speak, "Hi 2|x")}},
        {"line break arriving after the marker",
         "",
         {"0|", "0|\r", "0|\r\n", "0|\r\nA"},
         {nothing, reply(Action::text, "\r"), nothing, reply(Action::text, "A")}},
        {"the selection is read once",
         "abc",
         {"2|", "2|ignored", "2|ignored too"},
         {nothing, reply(Action::readSelection, "abc"), nothing}},
        {"a combining mark arriving after the marker",
         "",
         {"0|", "0|\u0301"},
         {nothing, invalid("0|\u0301")}},
        {"a partial marker that turns out wrong", "", {"3", "3x"}, {nothing, invalid("3x")}},
    };
    for (const auto& c : cases) {
        AssistantMarkerDecoder decoder;
        std::vector<Outcome> outcomes;
        for (const auto& snapshot : c.snapshots) {
            outcomes.push_back(
                outcomeOf([&] { return Outcome(decoder.update(snapshot, c.selection)); }));
        }
        EXPECT_EQ(outcomes, c.expected) << c.name;
    }
}

TEST(AssistantMarkerDecoderTest, FinishOnTheCompleteOutput) {
    struct Case {
        std::string output;
        std::string selection;
        Outcome expected;
    };
    const std::vector<Case> cases = {
        {"", "", invalid("")},
        {"1", "", invalid("1")},
        {"Hello", "", invalid("Hello")},
        {"0|", "", emptyResponse},
        {"0|\u0301", "", invalid("0|\u0301")},
        {"2|", "abc", reply(Action::readSelection, "abc")},
        {"0|   ", "", emptyResponse},
        {"0|\n \n\t", "", emptyResponse},
        {"3|Which paragraph?", "", reply(Action::clarify, "Which paragraph?")},
        {"1|  Hi  ", "", reply(Action::speak, "  Hi  ")},
        {"0|\nDone.\n", "", reply(Action::text, "Done.\n")},
        {"2|junk", " abc ", reply(Action::readSelection, " abc ")},
        {"2|", "  \n", missingSelection},
    };
    for (const auto& c : cases) {
        AssistantMarkerDecoder decoder;
        EXPECT_EQ(outcomeOf([&] {
                      return Outcome(std::optional(decoder.finish(c.output, c.selection)));
                  }),
                  c.expected)
            << "output \"" << c.output << "\"";
    }
}

TEST(AssistantMarkerDecoderTest, FinishReturnsTheFinalReplyAfterStreaming) {
    AssistantMarkerDecoder decoder;
    EXPECT_EQ(decoder.update("1|Hi", ""), (AssistantReply{Action::speak, "Hi"}));
    EXPECT_EQ(decoder.finish("1|Hi", ""), (AssistantReply{Action::speak, "Hi"}));
    EXPECT_EQ(decoder.finish("1|Hi 0|there", ""), (AssistantReply{Action::speak, "Hi 0|there"}));
}

TEST(AssistantProtocolErrorTest, CarriesItsDescriptionAsAnError) {
    struct Case {
        AssistantProtocolError error;
        std::string description;
    };
    const std::vector<Case> cases = {
        {AssistantProtocolError::invalidMarker("x"),
         "The local model returned an invalid Assistant response. Try again."},
        {AssistantProtocolError::missingSelection(),
         "Select some text before asking Lumora to read it aloud."},
        {AssistantProtocolError::emptyResponse(),
         "The local model returned an empty Assistant response. Try again."},
    };
    for (const auto& c : cases) {
        try {
            throw c.error;
        } catch (const Error& error) {
            EXPECT_EQ(error.description, c.description);
            EXPECT_STREQ(error.what(), c.description.c_str());
            EXPECT_TRUE(error.extra.empty());
        }
    }
    EXPECT_EQ(AssistantProtocolError::invalidMarker("a"),
              AssistantProtocolError::invalidMarker("a"));
    EXPECT_NE(AssistantProtocolError::invalidMarker("a"),
              AssistantProtocolError::invalidMarker("b"));
    EXPECT_NE(AssistantProtocolError::missingSelection(), AssistantProtocolError::emptyResponse());
}

}  // namespace
}  // namespace lumora
