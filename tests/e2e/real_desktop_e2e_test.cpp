// The helper on the real desktop, through pipes: the headless test desktop with a real GTK
// editor, the test playing the Lumora app and the user.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/e2e/desktop_dialogue.h"

namespace lumora {
namespace {

using nlohmann::json;
using test_support::TestDesktop;
using testing::commandLine;
using testing::environmentOn;
using testing::eventsOf;

json cloudAnswer(const char* command, int id, const std::string& text) {
    return {{"command", command}, {"id", id}, {"action", "text"}, {"text", text}};
}

// A cloud request typed in the editor: the app gets the editor's real window text and
// metadata, the answer streams into the editor, undo takes it back, a follow-up lands where
// the first answer was, and an editor closed mid-request leaves the answer to copy.
TEST(RealDesktopProcessTest, CloudAnswersTypedIntoARealEditorUndoneAndFollowedUp) {
    const std::string note = "Team update: the beta ships on Friday.";
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor editor = desktop.openEditor(note);
    desktop.pressKeys(editor, {"ctrl+End"});
    const std::string answer = " Thanks, team \U0001F680 caf\u00e9!";
    const std::string shorter = " Thanks!";
    std::string answered, undone, followedUp;

    auto result = testing::runDialogue(
        testing::builtProgram("assistant/lumora-assistant"),
        commandLine({{"command", "open"}, {"id", 1}}) +
            commandLine(
                {{"command", "ask"}, {"id", 1}, {"text", "Thank the team"}, {"provider", "cloud"}}),
        {{"\"phase\":\"generation_input\"",
          commandLine(cloudAnswer("hosted_snapshot", 1, " Thanks,")) +
              commandLine(cloudAnswer("hosted_complete", 1, answer))},
         {"\"message\":\"Text inserted\"", commandLine({{"command", "undo"}, {"id", 1}}), 1,
          [&] { answered = desktop.savedText(editor); }},
         {"\"message\":\"Change undone\"",
          commandLine({{"command", "ask"}, {"id", 2}, {"text", "Shorter"}, {"provider", "cloud"}}),
          1, [&] { undone = desktop.savedText(editor); }},
         {"\"phase\":\"generation_input\"",
          commandLine(cloudAnswer("hosted_snapshot", 2, shorter)) +
              commandLine(cloudAnswer("hosted_complete", 2, shorter)),
          2},
         {"\"message\":\"Text inserted\"",
          commandLine(
              {{"command", "ask"}, {"id", 3}, {"text", "Once more"}, {"provider", "cloud"}}),
          2, [&] { followedUp = desktop.savedText(editor); }},
         {"\"phase\":\"generation_input\"",
          commandLine(cloudAnswer("hosted_snapshot", 3, shorter)) +
              commandLine(cloudAnswer("hosted_complete", 3, shorter)),
          3, [&] { desktop.closeEditor(editor); }},
         {"Your answer is available to copy.", ""}},
        environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    std::vector<json> inputs = eventsOf(result, "generation_input");
    ASSERT_EQ(inputs.size(), 3u) << result.out;
    EXPECT_EQ(inputs[0]["source"], (json{{"app", "Mousepad"},
                                         {"windowTitle", editor.title},
                                         {"focusedRole", "AXTextArea"},
                                         {"focusedLabel", ""}}));
    // The window's own pixels, read on the device.
    EXPECT_NE(inputs[0]["screenText"].get<std::string>().find("Team update"), std::string::npos)
        << inputs[0]["screenText"];
    EXPECT_EQ(inputs[1]["previousOutput"], answer);

    EXPECT_EQ(answered, note + answer);
    EXPECT_EQ(undone, note);
    EXPECT_EQ(followedUp, note + shorter);
    std::vector<json> results = eventsOf(result, "result");
    ASSERT_FALSE(results.empty());
    EXPECT_EQ(results.back()["id"], 3);
    EXPECT_EQ(results.back()["text"], shorter);
}

// A region of the screen chosen with the real selector, then a selection the user gives up.
TEST(RealDesktopProcessTest, ARegionIsCapturedWithTheSelectorOrGivenUp) {
    TestDesktop& desktop = TestDesktop::shared();
    desktop.openEditor("Region notes");
    const std::string region =
        commandLine({{"command", "screen"}, {"id", 1}, {"context", "region"}});
    const std::string capturing = "Capturing your window\u2026";
    auto result =
        testing::runDialogue(testing::builtProgram("assistant/lumora-assistant"),
                             commandLine({{"command", "open"}, {"id", 1}}) + region,
                             {{capturing, "", 1, [&] { desktop.dragRegion(100, 100, 400, 300); }},
                              {"\"message\":\"Visual context captured\"", region},
                              {capturing, "", 2, [&] { desktop.abortRegionSelection(); }},
                              {"Could not capture visual context", ""}},
                             environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    std::vector<json> errors = eventsOf(result, "error");
    ASSERT_EQ(errors.size(), 1u) << result.out;
    EXPECT_EQ(errors[0]["message"],
              "Could not capture visual context: The operation couldn\u2019t be completed. "
              "(Capture canceled error 1.)");
}

// The accessibility bus, then the X server, go away while the helper runs: it keeps answering,
// without them, and exits 0 at the end of input.
TEST(RealDesktopProcessTest, TheDesktopGoingAwayLeavesTheHelperAnswering) {
    TestDesktop desktop;
    desktop.openEditor("Draft");
    const std::string opened = "Hold your Assistant shortcut to speak a request.";
    auto result = testing::runDialogue(
        testing::builtProgram("assistant/lumora-assistant"),
        commandLine({{"command", "open"}, {"id", 1}}),
        {{opened, commandLine({{"command", "open"}, {"id", 2}}), 1,
          [&] { desktop.stopSessionBus(); }},
         {opened, commandLine({{"command", "open"}, {"id", 3}}), 2, [&] { desktop.stopDisplay(); }},
         {opened,
          commandLine({{"command", "ask"}, {"id", 3}, {"text", "Hello"}, {"provider", "cloud"}}) +
              commandLine({{"command", "status"}, {"id", 4}}),
          3},
         {"\"phase\":\"availability\"", ""}},
        environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    std::vector<json> results = eventsOf(result, "result");
    ASSERT_EQ(results.size(), 3u) << result.out;
    EXPECT_EQ(results[0]["source"], "Mousepad");
    EXPECT_EQ(results[0]["canInsert"], true);
    // Without the accessibility bus the editor is still known, its field no longer.
    EXPECT_EQ(results[1]["source"], "Mousepad");
    EXPECT_EQ(results[1]["canInsert"], false);
    // Without the X server nothing is in front.
    EXPECT_EQ(results[2]["source"], "");
    // Screen capture works exactly while the server answers.
    std::vector<json> errors = eventsOf(result, "error");
    ASSERT_EQ(errors.size(), 1u) << result.out;
    EXPECT_EQ(errors[0]["message"],
              "Enable Screen Recording in Lumora\u2019s Assistant section, then try again.");
    std::vector<json> availability = eventsOf(result, "availability");
    ASSERT_EQ(availability.size(), 1u);
    EXPECT_EQ(availability[0]["accessibility"], false);
    EXPECT_EQ(availability[0]["screen"], false);
}

TEST(RealDesktopProcessTest, NoDesktopToServeEndsBeforeAnyEvent) {
    struct Case {
        std::map<std::string, std::string> environment;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{{"LUMORA_DESKTOP", "wayland"}},
         "LUMORA_DESKTOP must be \"x11\" or \"sim\", not \"wayland\"."},
        {{{"LUMORA_DESKTOP", "x11"}, {"DISPLAY", ":9999"}}, "Cannot open the X display"},
    };
    for (const Case& c : cases) {
        auto result =
            testing::runProcess(testing::builtProgram("assistant/lumora-assistant"),
                                commandLine({{"command", "status"}, {"id", 1}}), c.environment);
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
}

}  // namespace
}  // namespace lumora
