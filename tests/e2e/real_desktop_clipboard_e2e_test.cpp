// The helper and the clipboard of the real desktop, through pipes: the headless test desktop
// with a terminal that offers no accessibility tree, so a whole reply goes through the
// clipboard; the test plays the Lumora app, the user, and the user's other applications
// (xclip).
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/e2e/desktop_dialogue.h"
#include "tests/support/eventually.h"

namespace lumora {
namespace {

using nlohmann::json;
using test_support::eventually;
using test_support::TestDesktop;
using testing::commandLine;
using testing::environmentOn;

std::string openAndAsk(int id) {
    return commandLine({{"command", "open"}, {"id", id}}) +
           commandLine(
               {{"command", "ask"}, {"id", id}, {"text", "Reply to Ada"}, {"provider", "cloud"}});
}

std::string cloudAnswer(int id, const std::string& text) {
    return commandLine(
        {{"command", "hosted_complete"}, {"id", id}, {"action", "text"}, {"text", text}});
}

bool pastesEventually(TestDesktop& desktop, const std::string& target, const std::string& bytes) {
    return eventually([&] { return desktop.pasteFromClipboard(target) == bytes; });
}

std::string contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool offers(TestDesktop& desktop, const std::string& target) {
    return desktop.pasteFromClipboard("TARGETS").value_or("").find(target + "\n") !=
           std::string::npos;
}

// Two replies pasted into the terminal through the clipboard and Ctrl+V: the user's image comes
// back after the first, byte for byte; "copy" leaves the answer for other applications,
// unmarked; and a copy the user makes during the second paste stays theirs.
TEST(RealDesktopClipboardTest, PastesGiveTheUsersClipboardBackUnlessTheyCopiedMeanwhile) {
    TestDesktop& desktop = TestDesktop::shared();
    const std::string image("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\xff", 21);
    const std::string copiedMeanwhile = "Copied during the paste";
    const std::string answer = "Thanks, Ada \U0001F680";
    desktop.copyToClipboard("image/png", image);
    TestDesktop::Editor terminal = desktop.openTerminal();
    bool replyMarked = false, imageBack = false, answerCopied = false, copyUnmarked = false;
    bool replyWritten = false;

    const std::string inserting = "Inserting text\u2026";
    auto result = testing::runDialogue(
        testing::builtProgram("assistant/lumora-assistant"), openAndAsk(1),
        {{"\"phase\":\"generation_input\"", cloudAnswer(1, answer)},
         // The paste is over once the image is back, a second after its reply was written.
         {inserting, commandLine({{"command", "copy"}, {"id", 1}}), 1,
          [&] {
              replyMarked = pastesEventually(desktop, "UTF8_STRING", answer) &&
                            offers(desktop, "x-kde-passwordManagerHint");
              imageBack = pastesEventually(desktop, "image/png", image);
          }},
         {"\"message\":\"Copied.\"", openAndAsk(2), 1,
          [&] {
              answerCopied = desktop.pasteFromClipboard("UTF8_STRING") == answer;
              copyUnmarked = !offers(desktop, "org.nspasteboard.TransientType");
          }},
         {"\"phase\":\"generation_input\"", cloudAnswer(2, "Shorter"), 2},
         {inserting, "", 2,
          [&] {
              replyWritten = pastesEventually(desktop, "UTF8_STRING", "Shorter");
              desktop.copyToClipboard("UTF8_STRING", copiedMeanwhile);
          }}},
        environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    EXPECT_TRUE(replyMarked);
    EXPECT_TRUE(imageBack);
    EXPECT_TRUE(answerCopied);
    EXPECT_TRUE(copyUnmarked);
    EXPECT_TRUE(replyWritten);
    // The helper exits once its restore was due; had it restored, the user's copy would have
    // been replaced.
    EXPECT_EQ(desktop.pasteFromClipboard("UTF8_STRING"), copiedMeanwhile);
    EXPECT_TRUE(eventually([&] { return contents(terminal.path) == answer + "Shorter"; }))
        << contents(terminal.path);
}

}  // namespace
}  // namespace lumora
