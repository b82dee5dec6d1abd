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
    std::vector<json> expected = {{"capturing_screen", "Capturing your window…"},
                                  {"processing", "Thinking with Cloud…"},
                                  {"generation_input", nullptr}};
    EXPECT_EQ(phasesOf(2), expected);
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
    EXPECT_EQ(record["provider"], "cloud");
    EXPECT_EQ(record["imageAttached"], false);
    EXPECT_TRUE(sim->desktop->modelCalls().empty());

    events.clear();
    for (const char* text : {"He", "He", "Hello"}) {
        answer("hosted_snapshot", {{"action", "text"}, {"text", text}});
    }
    answer("hosted_complete", {{"action", "text"}, {"text", "Hello"}});
    expected = {
        {"streaming", "Generating…"}, {"streaming", "Generating…"}, {"result", "Text inserted"}};
    EXPECT_EQ(phasesOf(2), expected);
    EXPECT_EQ(field("body"), "Dear Ada, Hello");

    // Late pieces, another request's pieces and the deadline all stay silent.
    events.clear();
    answer("hosted_snapshot", {{"action", "text"}, {"text", "Hello there"}});
    answer("hosted_error", {}, 3);
    advance(100.0);
    EXPECT_TRUE(events.empty()) << json(events).dump(1);
    EXPECT_EQ(field("body"), "Dear Ada, Hello");
}

TEST_F(CloudRelayTest, ARequestWithoutAScreenshotSendsNoAuditIdAndNoScreenText) {
    json world = notesWorld({});
    world["windows"] = json::array();
    load(world);
    std::optional<json> input = askCloud("Write a greeting");
    ASSERT_TRUE(input);
    EXPECT_FALSE(input->contains("auditId"));
    EXPECT_EQ((*input)["screenText"], "");
    EXPECT_EQ(phasesOf(2).front(), json({"processing", "Thinking with Cloud…"}));
}

struct BadPieceCase {
    const char* name;
    json before;  // a piece accepted first, or null
    const char* command;
    json piece;
};

class BadPieceTest : public CloudRelayTest, public testing::WithParamInterface<BadPieceCase> {};

TEST_P(BadPieceTest, FailsTheRequestKeepsWhatWasTypedAndTypesNothingMore) {
    const BadPieceCase& c = GetParam();
    load(notesWorld({}));
    ASSERT_TRUE(askCloud("Write a greeting"));
    if (!c.before.is_null()) answer("hosted_snapshot", c.before);
    const std::string typed = field("body");

    events.clear();
    answer(c.command, c.piece);
    ASSERT_EQ(events.size(), 1u) << json(events).dump(1);
    EXPECT_EQ(events[0]["phase"], "error");
    EXPECT_EQ(events[0]["message"], invalidResponse);
    EXPECT_EQ(events[0]["text"], c.before.is_null() ? "" : c.before["text"]);

    answer("hosted_complete", {{"action", "text"}, {"text", "Hello, world"}});
    advance(100.0);
    EXPECT_EQ(events.size(), 1u) << json(events).dump(1);
    EXPECT_EQ(field("body"), typed);
    if (c.before.is_null()) return;
    send({{"command", "undo"}, {"id", 2}});
    settle();
    EXPECT_EQ(events.back()["message"], "Change undone");
    EXPECT_EQ(field("body"), "Dear Ada, ");
}

const json typedHello = {{"action", "text"}, {"text", "Hello"}};

INSTANTIATE_TEST_SUITE_P(
    Pieces, BadPieceTest,
    testing::Values(
        BadPieceCase{
            "Shrinking", typedHello, "hosted_snapshot", {{"action", "text"}, {"text", "Help"}}},
        BadPieceCase{"ChangedAction",
                     typedHello,
                     "hosted_snapshot",
                     {{"action", "speak"}, {"text", "Hello there"}}},
        BadPieceCase{"UnknownAction",
                     typedHello,
                     "hosted_snapshot",
                     {{"action", "shout"}, {"text", "Hello there"}}},
        BadPieceCase{"MissingText", typedHello, "hosted_complete", {{"action", "text"}}},
        BadPieceCase{
            "BlankCompletion", nullptr, "hosted_complete", {{"action", "text"}, {"text", "  \n"}}},
        BadPieceCase{"ReadSelectionWithoutSelection",
                     nullptr,
                     "hosted_complete",
                     {{"action", "read-selection"}, {"text", "anything"}}}),
    [](const auto& info) { return std::string(info.param.name); });

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

TEST_F(CloudRelayTest, AReadAloudAnswerIsTheSelectionHandedBackToTheApp) {
    json world = notesWorld({});
    world["apps"][1]["elements"][1]["value"] = "Dear Ada, the beta ships Friday.";
    world["apps"][1]["elements"][1]["selection"] = {{"location", 10}, {"length", 22}};
    load(world);
    ASSERT_TRUE(askCloud("Read this aloud"));
    answer("hosted_complete", {{"action", "read-selection"}, {"text", "ignored"}});
    EXPECT_EQ(events.back()["message"], "Preparing narration…");
    EXPECT_EQ(events.back()["text"], "the beta ships Friday.");
    EXPECT_EQ(events.back()["action"], "speak");
    EXPECT_EQ(field("body"), "Dear Ada, the beta ships Friday.");
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
    EXPECT_TRUE(screenText.starts_with("Line 0 xxx"));
    EXPECT_TRUE(screenText.ends_with("Line 59 " + std::string(90, 'x') + "\n[OCR truncated]"))
        << screenText;
    EXPECT_EQ(screenText.find("consult the image"), std::string::npos);

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
