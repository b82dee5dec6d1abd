// The hold keys of the helper on the real desktop, through pipes: the headless test desktop
// with a real GTK editor, the test playing the Lumora app, and the user's hands as XTest input
// from another client (xdotool), which the server treats as a keyboard.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/e2e/child_process.h"
#include "tests/support/test_desktop.h"

namespace lumora {
namespace {

using nlohmann::json;
using test_support::TestDesktop;

// By its X key code (RALT on the test server's keymap): named Alt_R, xdotool would press the
// Alt modifier it maps to first, which is Alt_L.
const std::string rightOption = "108";
const std::string unreportedKey =
    "This keyboard does not report the chosen hold key, so holding it cannot start Lumora. "
    "Choose another hold key.";

std::string line(const json& command) {
    return command.dump() + "\n";
}

std::string holdConfigure(const json& bindings) {
    return line({{"command", "hold_configure"}, {"id", 1}, {"holdBindings", bindings}});
}

std::map<std::string, std::string> on(const TestDesktop& desktop) {
    std::map<std::string, std::string> environment;
    for (const std::string& entry : desktop.environment()) {
        std::size_t equals = entry.find('=');
        environment[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    environment["LUMORA_DESKTOP"] = "x11";
    environment.erase("LUMORA_SIM_SCENARIO");
    return environment;
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

// Polls `done` for up to ten seconds.
template <class Done>
bool eventually(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
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
              desktop.holdKey(rightOption, 0.1);
              // Typed as it would have been without the tap: no Alt left down.
              desktop.holdKey("a", 0.05);
              desktop.keyDown(rightOption);
          }},
         {"\"phase\":\"hold_pressed\"", "", 1, [&] { desktop.keyUp(rightOption); }},
         {"\"phase\":\"hold_released\"", "", 1, [&] { desktop.keyDown(rightOption); }},
         {"\"phase\":\"hold_pressed\"", "", 2, [&] { desktop.holdKey("x", 0.05); }},
         {"\"phase\":\"hold_cancel\"", holdConfigure({{"assistant", "Hold:Fn"}}), 1,
          [&] { desktop.keyUp(rightOption); }},
         {"does not report", "", 1, [&] { typed = desktop.savedText(editor); }}},
        on(desktop));
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
        on(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    ASSERT_TRUE(openedForTap && openedForHold);
    EXPECT_TRUE(closedByTap);
    EXPECT_TRUE(openAfterHold);
    EXPECT_EQ(holdEvents(result),
              (std::vector<std::string>{"hold_status: ", "hold_pressed", "hold_released"}))
        << result.out;
}

// The tap is lost with the X server in the middle of a hold: the hold is cancelled rather than
// left pressed, and the helper goes on answering.
TEST(RealDesktopKeysTest, ATapLostMidHoldLeavesNoHoldStuck) {
    TestDesktop desktop;
    desktop.openEditor("");
    auto result = testing::runDialogue(
        testing::builtProgram("assistant/lumora-assistant"),
        holdConfigure({{"dictation", "Hold:RightOption"}}),
        {{"\"phase\":\"hold_status\"", "", 1, [&] { desktop.keyDown(rightOption); }},
         {"\"phase\":\"hold_pressed\"", "", 1, [&] { desktop.stopDisplay(); }},
         {"\"phase\":\"hold_cancel\"", line({{"command", "status"}, {"id", 2}})},
         {"\"phase\":\"availability\"", ""}},
        on(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(holdEvents(result),
              (std::vector<std::string>{"hold_status: ", "hold_pressed", "hold_cancel"}))
        << result.out;
}

}  // namespace
}  // namespace lumora
