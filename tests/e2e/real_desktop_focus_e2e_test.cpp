// The helper beside editors of every toolkit on the real desktop, through pipes: "open" finds
// the focused field, its selection and its caret, started before or after the user came to
// the editor. Then answers streamed into GNOME Text Editor, whose accessibility calls are
// slow, land whole and undo takes them back.
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

const std::string note = "Alpha bravo charlie delta.\nSecond line here.\n";

std::string openAndAsk() {
    return commandLine({{"command", "open"}, {"id", 1}}) +
           commandLine({{"command", "ask"}, {"id", 1}, {"text", "Reword"}, {"provider", "cloud"}});
}

json cloudAnswer(const char* command, const std::string& text) {
    return {{"command", command}, {"id", 1}, {"action", "text"}, {"text", text}};
}

bool inside(const json& bounds, const TestDesktop::Geometry& window) {
    double x = bounds["x"], y = bounds["y"], width = bounds["width"], height = bounds["height"];
    return x >= window.x && y >= window.y && x + width <= window.x + window.width &&
           y + height <= window.y + window.height;
}

struct Editor {
    TestDesktop::Application application;
    std::string name;  // as the helper names the application
};

struct Placement {
    std::string what;
    std::vector<std::string> keys;
    std::string selection;
    // Whether the helper already runs when the user comes back to the editor, so that it learns
    // the focus from the toolkit's events; else it starts once the user is done.
    bool helperFirst = false;
};

// The user comes to the editor, selects a word or places the caret, and the app asks "open":
// every toolkit's focused text is found, with its selection and the caret's own rectangle,
// whether the helper saw the focus arrive or started after it did.
TEST(RealDesktopFocusTest, OpenFindsTheFocusedFieldOfEveryToolkit) {
    const std::vector<Editor> editors = {
        {TestDesktop::Application::mousepad, "Mousepad"},
        {TestDesktop::Application::featherpad, "FeatherPad"},
        {TestDesktop::Application::textEditor, "Text Editor"},
        {TestDesktop::Application::writer, "LibreOffice Writer"},
    };
    auto selecting = [](int characters) {
        std::vector<std::string> keys = {"ctrl+Home"};
        keys.insert(keys.end(), characters, "shift+Right");
        return keys;
    };
    // Each selection differs from the one before, so that other clients see when it is made.
    const std::vector<Placement> placements = {
        {"a selected word", selecting(5), "Alpha"},
        {"the caret", {"ctrl+Home", "Right", "Right", "Right", "Right", "Right", "Right"}, ""},
        {"two words selected while the helper runs", selecting(11), "Alpha bravo", true},
    };
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor elsewhere = desktop.openTerminal();
    for (const Editor& editor : editors) {
        TestDesktop::Editor opened = desktop.openApplication(editor.application, note);
        for (const Placement& placement : placements) {
            SCOPED_TRACE(editor.name + " with " + placement.what);
            // Writer takes keys a while after it starts, and gives its document the keyboard a
            // moment after its window is active again, so a selection is made until it shows.
            auto place = [&] {
                for (int attempt = 0; attempt < 3; ++attempt) {
                    desktop.pressKeys(opened, placement.keys);
                    if (placement.selection.empty() || desktop.awaitSelected(placement.selection)) {
                        return;
                    }
                }
                FAIL() << "the selection was not made";
            };
            // The user was elsewhere, and comes back.
            auto comeBack = [&] {
                desktop.switchTo(elsewhere);
                place();
            };
            std::vector<testing::Exchange> exchanges = {{"\"phase\":\"generation_input\"", ""}};
            std::string input = openAndAsk();
            if (placement.helperFirst) {
                exchanges.insert(exchanges.begin(),
                                 {"\"phase\":\"availability\"", openAndAsk(), 1, comeBack});
                input = commandLine({{"command", "status"}, {"id", 1}});
            } else {
                place();
            }
            auto result = testing::runDialogue(testing::builtProgram("assistant/lumora-assistant"),
                                               input, exchanges, environmentOn(desktop));
            ASSERT_EQ(result.exitStatus, 0) << result.err;
            std::vector<json> opens = eventsOf(result, "result");
            std::vector<json> inputs = eventsOf(result, "generation_input");
            ASSERT_EQ(opens.size(), 1u) << result.out;
            ASSERT_EQ(inputs.size(), 1u) << result.out;
            EXPECT_EQ(opens[0]["source"], editor.name);
            EXPECT_EQ(opens[0]["canInsert"], true);
            EXPECT_EQ(inputs[0]["source"]["focusedRole"], "AXTextArea");
            EXPECT_EQ(inputs[0]["selection"], placement.selection);
            // A caret's or a selection's own rectangle, not the window's.
            ASSERT_TRUE(opens[0].contains("bounds")) << opens[0];
            EXPECT_LT(opens[0]["bounds"]["height"], 60) << opens[0]["bounds"];
            EXPECT_TRUE(inside(opens[0]["bounds"], desktop.windowGeometry(opened)))
                << opens[0]["bounds"];
        }
        desktop.closeEditor(opened);
    }
    desktop.closeEditor(elsewhere);
}

// GNOME Text Editor answers some calls only after a hundred milliseconds while it lays out
// what was just typed; several answers in a row must still land whole and be undone.
TEST(RealDesktopFocusTest, AnswersStreamedIntoASlowEditorLandWholeAndAreUndone) {
    constexpr int rounds = 4;
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor opened =
        desktop.openApplication(TestDesktop::Application::textEditor, note);
    for (int round = 1; round <= rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string answer =
            " Round " + std::to_string(round) + ": thanks to the whole team.";
        desktop.pressKeys(opened, {"ctrl+End"});
        std::string inserted, undone;
        auto result = testing::runDialogue(
            testing::builtProgram("assistant/lumora-assistant"), openAndAsk(),
            {{"\"phase\":\"generation_input\"",
              commandLine(cloudAnswer("hosted_snapshot", answer.substr(0, 8))) +
                  commandLine(cloudAnswer("hosted_snapshot", answer.substr(0, 20))) +
                  commandLine(cloudAnswer("hosted_complete", answer))},
             {"\"message\":\"Text inserted\"", commandLine({{"command", "undo"}, {"id", 1}}), 1,
              [&] { inserted = desktop.shownText(opened); }},
             {"\"message\":\"Change undone\"", "", 1, [&] { undone = desktop.shownText(opened); }}},
            environmentOn(desktop));
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(eventsOf(result, "error").size(), 0u) << result.out;
        // The editor keeps a file's last line break out of its text, so the caret at the end is
        // before it.
        const std::string body = note.substr(0, note.size() - 1);
        EXPECT_EQ(inserted, body + answer) << result.out;
        EXPECT_EQ(undone, body) << result.out;
    }
    desktop.closeEditor(opened);
}

}  // namespace
}  // namespace lumora
