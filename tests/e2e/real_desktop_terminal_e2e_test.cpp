// The helper's pastes into terminals and the user's selections through its exit, through pipes
// on the headless test desktop: the test plays the Lumora app, the user, and the user's other
// applications (xclip, and the clipboard keeper standing in for one that offers text and a
// picture at once).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "platform/x11/held_selections.h"
#include "tests/e2e/desktop_dialogue.h"
#include "tests/support/eventually.h"

namespace lumora {
namespace {

using test_support::eventually;
using test_support::TestDesktop;
using testing::commandLine;
using testing::environmentOn;

const std::string answer = "Thanks, Ada \u00e9\U0001F680";

// A cloud request answered whole, so it is pasted; the helper's input then ends.
testing::ProcessResult askAndPaste(TestDesktop& desktop) {
    return testing::runDialogue(
        testing::builtProgram("assistant/lumora-assistant"),
        commandLine({{"command", "open"}, {"id", 1}}) +
            commandLine(
                {{"command", "ask"}, {"id", 1}, {"text", "Reply to Ada"}, {"provider", "cloud"}}),
        {{"\"phase\":\"generation_input\"",
          commandLine(
              {{"command", "hosted_complete"}, {"id", 1}, {"action", "text"}, {"text", answer}})},
         {"\"message\":\"Text inserted\"", ""}},
        environmentOn(desktop));
}

std::string contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// xterm pastes PRIMARY with Shift+Insert, lxterminal the clipboard with Control+Shift+V: the
// answer reaches the program in each, and the user's clipboard and selection are theirs again
// once the helper has gone.
TEST(RealDesktopTerminalTest, AnswersArePastedIntoTerminalsAndTheUsersSelectionsStay) {
    TestDesktop& desktop = TestDesktop::shared();
    for (const std::string program : {"xterm", "lxterminal"}) {
        SCOPED_TRACE(program);
        const std::string copied = "Copied before " + program;
        const std::string selected = "Selected before " + program;
        desktop.copyToSelection("clipboard", "UTF8_STRING", copied);
        desktop.copyToSelection("primary", "UTF8_STRING", selected);
        TestDesktop::Editor terminal = desktop.openTerminalEmulator(program);

        testing::ProcessResult result = askAndPaste(desktop);
        ASSERT_EQ(result.exitStatus, 0) << result.err;

        EXPECT_TRUE(eventually([&] { return contents(terminal.path) == answer; }))
            << contents(terminal.path);
        EXPECT_EQ(desktop.pasteFromSelection("clipboard", "UTF8_STRING"), copied);
        EXPECT_EQ(desktop.pasteFromSelection("primary", "UTF8_STRING"), selected);
        desktop.closeEditor(terminal);
    }
}

// The user's clipboard, text and a picture, comes back after a paste and outlives the helper:
// the clipboard manager saves it when the desktop has one, and the clipboard keeper serves it
// otherwise.
TEST(RealDesktopTerminalTest, TheUsersClipboardOutlivesTheHelper) {
    const std::string text = "Caf\u00e9 notes";
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\xff", 21);
    struct Case {
        bool withManager;
        std::string keptBy;
    };
    for (const Case& c : {Case{false, "lumora-clipboard-keeper"}, Case{true, "xfsettingsd"}}) {
        SCOPED_TRACE(c.keptBy);
        TestDesktop desktop;
        if (c.withManager) desktop.startClipboardManager();
        auto shared = [](std::string bytes) {
            return std::make_shared<const std::string>(std::move(bytes));
        };
        testing::ProcessResult copied = testing::runProcess(
            testing::builtProgram("assistant/lumora-clipboard-keeper"),
            x11::encodeHeldSelections(
                {{"CLIPBOARD",
                  {{"public.utf8-plain-text", shared(text)}, {"image/png", shared(png)}}}}),
            environmentOn(desktop));
        ASSERT_EQ(copied.out, "\x01");
        TestDesktop::Editor terminal = desktop.openTerminalEmulator("xterm");

        testing::ProcessResult result = askAndPaste(desktop);
        ASSERT_EQ(result.exitStatus, 0) << result.err;

        EXPECT_TRUE(eventually([&] { return contents(terminal.path) == answer; }));
        EXPECT_EQ(desktop.selectionOwnerProgram("CLIPBOARD"), c.keptBy) << result.err;
        EXPECT_EQ(desktop.pasteFromSelection("clipboard", "UTF8_STRING"), text);
        EXPECT_EQ(desktop.pasteFromSelection("clipboard", "image/png"), png);
    }
}

}  // namespace
}  // namespace lumora
