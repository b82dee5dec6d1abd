#include "assistant/generation/hosted_response.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "tests/generation/reply_outcomes.h"

namespace lumora {
namespace {

using namespace reply_outcomes;
using Action = AssistantAction;

// One command from the app and what the accumulator makes of it.
struct Piece {
    std::optional<std::string> action;
    std::optional<std::string> text;
    bool complete = false;
    Outcome expected;
    std::uint64_t id = 7;
};

struct Case {
    std::string name;
    std::vector<Piece> pieces;
    std::string selection = "the beta ships Friday";
};

constexpr bool snapshot = false;
constexpr bool complete = true;

TEST(HostedAssistantResponseTest, ChecksEachPieceAgainstWhatCameBefore) {
    const std::vector<Case> cases = {
        {"answers grow; a repeat or an empty start adds nothing, a final repeat still counts",
         {{"text", "", snapshot, nothing},
          {"text", "He", snapshot, reply(Action::text, "He")},
          {"text", "He", snapshot, nothing},
          {"text", "Hello", snapshot, reply(Action::text, "Hello")},
          {"text", "Hello", complete, reply(Action::text, "Hello")}}},
        {"an answer that does not grow from the last one fails",
         {{"text", "Hello", snapshot, reply(Action::text, "Hello")},
          {"text", "Help", snapshot, invalid("text")},
          {"text", "Hello there", complete, nothing}}},
        {"the action never changes",
         {{"text", "Hi", snapshot, reply(Action::text, "Hi")},
          {"speak", "Hi there", snapshot, invalid("speak")}}},
        {"a missing action fails", {{std::nullopt, "Hi", snapshot, invalid("")}}},
        {"an unknown action fails", {{"shout", "Hi", snapshot, invalid("shout")}}},
        {"a missing text fails", {{"clarify", std::nullopt, complete, invalid("clarify")}}},
        {"read-selection answers with the selection, whatever the text",
         {{"read-selection", "", snapshot, reply(Action::readSelection, "the beta ships Friday")},
          {"read-selection", "ignored", complete,
           reply(Action::readSelection, "the beta ships Friday")}}},
        {"read-selection without a selection fails",
         {{"read-selection", "x", complete, AssistantProtocolError::missingSelection()}},
         " \n"},
        {"a blank completion fails",
         {{"speak", "  ", snapshot, reply(Action::speak, "  ")},
          {"speak", "   ", complete, AssistantProtocolError::emptyResponse()}}},
        {"pieces of another request, or after the end, change nothing",
         {{"clarify", "Which one?", snapshot, nothing, 6},
          {"clarify", "Which one?", complete, reply(Action::clarify, "Which one?")},
          {"clarify", "Which one? The", snapshot, nothing},
          {"text", "", complete, nothing}}},
    };
    for (const Case& c : cases) {
        HostedAssistantResponse response{7, c.selection, std::nullopt, false};
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            const Piece& piece = c.pieces[i];
            Outcome outcome = outcomeOf([&] {
                return response.receive(piece.id, piece.action, piece.text, piece.complete);
            });
            EXPECT_EQ(outcome, piece.expected) << c.name << ", piece " << i;
        }
    }
}

}  // namespace
}  // namespace lumora
