// The hold keys of the helper on the real desktop, through pipes: the headless test desktop
// with a real GTK editor, the test playing the Lumora app, and the user's hands as XTest input
// from another client (xdotool), which the server treats as a keyboard.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/e2e/desktop_dialogue.h"
#include "tests/support/eventually.h"

namespace lumora {
namespace {

using nlohmann::json;
using test_support::eventually;
using test_support::TestDesktop;
using testing::commandLine;
using testing::environmentOn;
using testing::rightOptionKey;

const std::string unreportedKey =
    "This keyboard does not report the chosen hold key, so holding it cannot start Lumora. "
    "Choose another hold key.";

std::string holdConfigure(const json& bindings) {
    return commandLine({{"command", "hold_configure"}, {"id", 1}, {"holdBindings", bindings}});
}

// The hold events in order, as "phase" or "phase: message".
std::vector<std::string> holdEvents(const testing::ProcessResult& result) {
    std::vector<std::string> events;
    for (const std::string& text : result.lines()) {
        json event = json::parse(text);
        std::string phase = event.value("phase", "");
        if (!phase.starts_with("hold_")) continue;
        events.push_back(
            event.contains("message") ? phase + ": " + event["message"].get<std::string>() : phase);
    }
    return events;
}

// Right Option held until the hold is reported, then let go; a 0.1-second tap that says
// nothing and leaves the editor typing as before; another key during a hold, which cancels it;
// and Fn bound, which X keyboards never report.
TEST(RealDesktopKeysTest, RightOptionHoldsTapsAndInterruptions) {
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor editor = desktop.openEditor("");
    std::string typed;
    auto result = testing::runDialogue(
        testing::builtProgram("assistant/lumora-assistant"),
        holdConfigure({{"dictation", "Hold:RightOption"}}),
        {{"\"phase\":\"hold_status\"", "", 1,
          [&] {
              desktop.holdKey(rightOptionKey, 0.1);
              // Typed as it would have been without the tap: no Alt left down.
              desktop.holdKey("a", 0.05);
              desktop.keyDown(rightOptionKey);
          }},
         {"\"phase\":\"hold_pressed\"", "", 1, [&] { desktop.keyUp(rightOptionKey); }},
         {"\"phase\":\"hold_released\"", "", 1, [&] { desktop.keyDown(rightOptionKey); }},
         {"\"phase\":\"hold_pressed\"", "", 2, [&] { desktop.holdKey("x", 0.05); }},
         {"\"phase\":\"hold_cancel\"", holdConfigure({{"assistant", "Hold:Fn"}}), 1,
          [&] { desktop.keyUp(rightOptionKey); }},
         {"does not report", "", 1, [&] { typed = desktop.savedText(editor); }}},
        environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(
        holdEvents(result),
        (std::vector<std::string>{"hold_status: ", "hold_pressed", "hold_released", "hold_pressed",
                                  "hold_cancel", "hold_status: " + unreportedKey}))
        << result.out;
    EXPECT_EQ(typed, "a");
}

// Escape bound: a tap still reaches the editor once the helper has seen it was no hold (it
// closes the editor's Go To dialog); a long hold reaches nothing (the dialog stays open).
TEST(RealDesktopKeysTest, AnEscapeTapReachesTheEditorAndAHoldDoesNot) {
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor editor = desktop.openEditor("First line\nSecond line");
    auto dialogs = [&] { return desktop.windowCount(editor) - 1; };
    auto openDialog = [&] {
        desktop.pressKeys(editor, {"ctrl+l"});
        return eventually([&] { return dialogs() == 1; });
    };
    bool openedForTap = false, closedByTap = false, openedForHold = false, openAfterHold = false;
    auto result = testing::runDialogue(
        testing::builtProgram("assistant/lumora-assistant"),
        holdConfigure({{"dictation", "Hold:Escape"}}),
        {{"\"phase\":\"hold_status\"", "", 1,
          [&] {
              openedForTap = openDialog();
              desktop.holdKey("Escape", 0.1);
              closedByTap = eventually([&] { return dialogs() == 0; });
              openedForHold = openDialog();
              desktop.keyDown("Escape");
          }},
         {"\"phase\":\"hold_pressed\"", "", 1, [&] { desktop.keyUp("Escape"); }},
         // An Escape that got through would have closed the dialog at its press, long before.
         {"\"phase\":\"hold_released\"", "", 1, [&] { openAfterHold = dialogs() == 1; }}},
        environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    ASSERT_TRUE(openedForTap && openedForHold);
    EXPECT_TRUE(closedByTap);
    EXPECT_TRUE(openAfterHold);
    EXPECT_EQ(holdEvents(result),
              (std::vector<std::string>{"hold_status: ", "hold_pressed", "hold_released"}))
        << result.out;
}

// Escape bound and another key pressed while Escape is down but not yet a hold: the Escape was
// no hold, and reaches the editor after all (it closes the Go To dialog). It is let go well
// before the server would repeat it, since a repeat would close the dialog by itself.
TEST(RealDesktopKeysTest, AnEscapeInterruptedBeforeItIsAHoldReachesTheEditor) {
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor editor = desktop.openEditor("First line\nSecond line");
    auto dialogs = [&] { return desktop.windowCount(editor) - 1; };
    bool opened = false, closed = false;
    auto result = testing::runDialogue(testing::builtProgram("assistant/lumora-assistant"),
                                       holdConfigure({{"dictation", "Hold:Escape"}}),
                                       {{"\"phase\":\"hold_status\"", "", 1,
                                         [&] {
                                             desktop.pressKeys(editor, {"ctrl+l"});
                                             opened = eventually([&] { return dialogs() == 1; });
                                             desktop.keyDown("Escape");
                                             desktop.holdKey("x", 0.05);
                                             desktop.keyUp("Escape");
                                             closed = eventually([&] { return dialogs() == 0; });
                                         }}},
                                       environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    ASSERT_TRUE(opened);
    EXPECT_TRUE(closed);
    EXPECT_EQ(holdEvents(result), (std::vector<std::string>{"hold_status: "})) << result.out;
}

// The tap is lost with the X server in the middle of a hold: the hold is cancelled rather than
// left pressed, and the helper goes on answering.
TEST(RealDesktopKeysTest, ATapLostMidHoldLeavesNoHoldStuck) {
    TestDesktop desktop;
    desktop.openEditor("");
    auto result = testing::runDialogue(
        testing::builtProgram("assistant/lumora-assistant"),
        holdConfigure({{"dictation", "Hold:RightOption"}}),
        {{"\"phase\":\"hold_status\"", "", 1, [&] { desktop.keyDown(rightOptionKey); }},
         {"\"phase\":\"hold_pressed\"", "", 1, [&] { desktop.stopDisplay(); }},
         {"\"phase\":\"hold_cancel\"", commandLine({{"command", "status"}, {"id", 2}})},
         {"\"phase\":\"availability\"", ""}},
        environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(holdEvents(result),
              (std::vector<std::string>{"hold_status: ", "hold_pressed", "hold_cancel"}))
        << result.out;
}

}  // namespace
}  // namespace lumora
