// A cloud request through the controller: the one "generation_input" event the app receives,
// and the answer it streams back, typed into the field or handed back, or refused piece by
// piece without ever corrupting the field.
#include "tests/host/controller_fixture.h"

namespace lumora {
namespace {

using namespace controller_testing;
using nlohmann::json;

constexpr const char* invalidResponse =
    "Cloud Assistant returned an invalid response. Please try again.";

// Recognises every window as the same lines of text, or fails.
class ScriptedRecognition final : public platform::TextRecognition {
  public:
    std::vector<platform::TextObservation> lines;
    std::optional<Error> failure;

    std::vector<platform::TextObservation> recognize(const platform::Image&,
                                                     std::stop_token) override {
        if (failure) throw *failure;
        return lines;
    }
};

class CloudRelayTest : public ControllerTest {
  protected:
    // Opens a session on the note and asks the cloud; the "generation_input" event, if any.
    std::optional<json> askCloud(const std::string& text, std::uint64_t id = 2) {
        send({{"command", "open"}, {"id", id}});
        events.clear();
        send({{"command", "ask"},
              {"id", id},
              {"text", text},
              {"provider", "cloud"},
              {"instruction", "Be brief."}});
        settle();
        for (const json& event : events) {
            if (event["phase"] == "generation_input") return event;
        }
        return std::nullopt;
    }

    void answer(const std::string& command, const json& fields = json::object(),
                std::uint64_t id = 2) {
        json line = fields;
        line["command"] = command;
        line["id"] = id;
        send(line);
        advance(2.0);
    }
};

TEST_F(CloudRelayTest, TheInputGoesToTheAppAndItsStreamedAnswerIsTypedIntoTheNote) {
    useAuditDirectory();
    load(notesWorld({}));
    std::optional<json> input = askCloud("Write a greeting");
    ASSERT_TRUE(input);
    EXPECT_EQ(phasesOf(2).at(1), json({"processing", "Thinking with Cloud…"}));
    const json record = auditRecord();
    EXPECT_EQ(*input, json({{"id", 2},
                            {"phase", "generation_input"},
                            {"request", "Write a greeting"},
                            {"preferences", "Be brief."},
                            {"selection", ""},
                            {"source",
                             {{"app", "Notes"},
                              {"windowTitle", "Draft — Notes"},
                              {"focusedRole", "AXTextArea"},
                              {"focusedLabel", "Note body"}}},
                            {"previousOutput", ""},
                            {"screenText", ""},
                            {"auditId", record["id"]}}));
    EXPECT_EQ(record["imageAttached"], false);

    events.clear();
    for (const char* text : {"He", "He", "Hello"}) {
        answer("hosted_snapshot", {{"action", "text"}, {"text", text}});
    }
    answer("hosted_complete", {{"action", "text"}, {"text", "Hello"}});
    EXPECT_EQ(phasesOf(2), (std::vector<json>{{"streaming", "Generating…"},
                                              {"streaming", "Generating…"},
                                              {"result", "Text inserted"}}));
    EXPECT_EQ(field("body"), "Dear Ada, Hello");
    // The record holds the delivered answer as the model wrote it, prefix and all.
    EXPECT_EQ(auditRecord()["rawOutput"], "0|Hello");

    // Late pieces, another request's pieces and the deadline all stay silent.
    events.clear();
    answer("hosted_snapshot", {{"action", "text"}, {"text", "Hello there"}});
    answer("hosted_error", {}, 3);
    advance(100.0);
    EXPECT_TRUE(events.empty()) << json(events).dump(1);
    EXPECT_EQ(field("body"), "Dear Ada, Hello");
}

// A bad piece fails the request; what was typed stays, undoable, and nothing more is typed.
TEST_F(CloudRelayTest, ABadPieceFailsTheRequestAndTypesNothingMore) {
    const json hello = {{"action", "text"}, {"text", "Hello"}};
    // Every kind of bad piece is in the accumulator's own table; here, one with text typed
    // before it and one without.
    const std::vector<std::tuple<json, std::string, json>> cases = {
        {hello, "hosted_snapshot", {{"action", "text"}, {"text", "Help"}}},
        {hello, "hosted_snapshot", {{"action", "speak"}, {"text", "Hello there"}}},
        {nullptr, "hosted_complete", {{"action", "read-selection"}, {"text", "anything"}}},
    };
    for (const auto& [before, command, piece] : cases) {
        SCOPED_TRACE(piece.dump());
        load(notesWorld({}));
        ASSERT_TRUE(askCloud("Write a greeting"));
        if (!before.is_null()) answer("hosted_snapshot", before);
        events.clear();
        answer(command, piece);
        answer("hosted_complete", {{"action", "text"}, {"text", "Hello, world"}});
        advance(100.0);
        ASSERT_EQ(events.size(), 1u) << json(events).dump(1);
        EXPECT_EQ(events[0]["message"], invalidResponse);
        EXPECT_EQ(events[0]["text"], before.is_null() ? "" : "Hello");
        send({{"command", "undo"}, {"id", 2}});
        settle();
        EXPECT_EQ(field("body"), "Dear Ada, ");
    }
}

TEST_F(CloudRelayTest, TheAppsFailureKeepsThePartialAnswerForCopying) {
    load(notesWorld({}));
    ASSERT_TRUE(askCloud("Write a greeting"));
    answer("hosted_snapshot", {{"action", "clarify"}, {"text", "Which"}});
    answer("hosted_error", {{"message", "The cloud is busy."}});
    EXPECT_EQ(events.back()["message"], "The cloud is busy.");
    EXPECT_EQ(events.back()["text"], "Which");
    EXPECT_EQ(copiedResult(2), "Which");

    for (const json& unexplained : {json::object(), json({{"message", " "}})}) {
        ASSERT_TRUE(askCloud("Write a greeting", 3));
        answer("hosted_error", unexplained, 3);
        EXPECT_EQ(events.back()["message"], "Cloud Assistant could not complete this request.");
        EXPECT_EQ(events.back()["text"], "");
    }
}

TEST_F(CloudRelayTest, ALocalRequestIgnoresCloudAnswersAndACloudOneTimesOut) {
    load(notesWorld({classifierSays("none"), modelSays("0|Local.", 8)}));
    ask("Write a greeting");
    events.clear();
    answer("hosted_complete", {{"action", "text"}, {"text", "Cloud."}});
    EXPECT_TRUE(events.empty());

    ASSERT_TRUE(askCloud("Write a greeting", 3));
    events.clear();
    advance(89.0);
    EXPECT_TRUE(events.empty());
    advance(1.0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["message"], "Generation timed out. Try a shorter request.");
}

TEST_F(CloudRelayTest, ScreenTextCutAtTheLimitCarriesTheShortMarker) {
    ScriptedRecognition recognition;
    // Lines of 99 characters with their line feeds: 60 fit in 6,000, with room for the notice.
    for (int row = 0; row < 100; ++row) {
        std::string text = "Line " + std::to_string(row) + " ";
        text.resize(98, 'x');
        recognition.lines.push_back({text, {0.05, 1.0 - (row + 1) * 0.009, 0.9, 0.008}});
    }
    textRecognition = &recognition;
    load(notesWorld({}));
    std::optional<json> input = askCloud("Summarise the page");
    ASSERT_TRUE(input);
    const std::string screenText = (*input)["screenText"];
    EXPECT_TRUE(screenText.ends_with("Line 59 " + std::string(90, 'x') + "\n[OCR truncated]"))
        << screenText;

    recognition.failure = Error("Lumora.ScreenText", 6, "The text could not be read.");
    EXPECT_FALSE(askCloud("Summarise the page", 3));
    EXPECT_EQ(events.back()["message"],
              "Could not read screen context: The text could not be read.");
    events.clear();
    advance(100.0);
    EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace lumora
