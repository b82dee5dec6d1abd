// The whole story on a real desktop, headless: the user holds Right Option and speaks a
// dictation into a GTK editor, then asks the cloud model in writing and sees the answer typed.
// The demo plays the Lumora app and the user: it prints every command line it sends (->) and
// every event line the helper answers with (<-), then the editor's text, and saves a
// screenshot of the editor.
#include <cstdio>
#include <exception>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/e2e/desktop_dialogue.h"
#include "tests/support/spoken_phrase.h"

namespace {

using lumora::test_support::TestDesktop;
using lumora::testing::commandLine;
using nlohmann::json;

std::mutex printing;

void say(const std::string& text) {
    std::lock_guard lock(printing);
    std::printf("\n# %s\n", text.c_str());
    std::fflush(stdout);
}

void show(const std::string& line, bool sent) {
    std::lock_guard lock(printing);
    std::printf("%s %s\n", sent ? "->" : "<-", line.c_str());
    std::fflush(stdout);
}

json hostedAnswer(const char* command, const std::string& text) {
    return {{"command", command}, {"id", 4}, {"action", "text"}, {"text", text}};
}

int run(const std::string& screenshotPath) {
    say("Starting a headless desktop: Xvfb, a session bus with accessibility on, openbox, "
        "PulseAudio with a virtual microphone, and mousepad");
    TestDesktop desktop;
    const lumora::test_support::SpokenPhrase& phrase = lumora::test_support::testPhrase();
    TestDesktop::Editor editor = desktop.openEditor("Meeting notes: ");
    desktop.pressKeys(editor, {"ctrl+End"});
    const std::string rightOption = lumora::testing::rightOptionKey;
    std::string savedText;

    say("The app asks what works here and binds dictation to holding Right Option");
    auto result = lumora::testing::runDialogue(
        lumora::testing::builtProgram("assistant/lumora-assistant"),
        commandLine({{"command", "status"}, {"id", 1}}) +
            commandLine({{"command", "hold_configure"},
                         {"id", 2},
                         {"holdBindings", {{"dictation", "Hold:RightOption"}}}}),
        {{"\"phase\":\"hold_status\"", "", 1,
          [&] {
              say("The user holds Right Option in the editor");
              desktop.keyDown(rightOption);
          }},
         {"\"phase\":\"hold_pressed\"", commandLine({{"command", "start"},
                                                     {"id", 3},
                                                     {"mode", "dictation"},
                                                     {"key", "Hold:RightOption"}})},
         {"\"phase\":\"recording\"", "", 1,
          [&] {
              say("The user speaks (a synthetic voice into the virtual microphone) and lets go");
              desktop.play(phrase.path());
              desktop.keyUp(rightOption);
          }},
         {"\"phase\":\"hold_released\"", commandLine({{"command", "stop"}, {"id", 3}})},
         {"\"message\":\"Text inserted\"",
          commandLine({{"command", "open"}, {"id", 4}}) +
              commandLine({{"command", "ask"},
                           {"id", 4},
                           {"text", "Add a line thanking the team"},
                           {"provider", "cloud"}}),
          1, [&] { say("The user asks the cloud model in writing"); }},
         {"\"phase\":\"generation_input\"",
          commandLine(hostedAnswer("hosted_snapshot", " Thank you all")) +
              commandLine(hostedAnswer("hosted_complete", " Thank you all for a great week!")),
          1, [&] { say("The app's cloud model answers in pieces"); }},
         {"\"message\":\"Text inserted\"", "", 2,
          [&] {
              savedText = desktop.savedText(editor);
              desktop.saveScreenshot(editor, screenshotPath);
          }}},
        lumora::testing::environmentOn(desktop), show);

    say("The helper exited with status " + std::to_string(result.exitStatus));
    if (!result.err.empty()) std::printf("Its standard error:\n%s", result.err.c_str());
    say("The editor's text: \"" + savedText + "\"");
    say("A screenshot of the editor: " + screenshotPath);
    return result.exitStatus;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc > 1 ? argv[1] : "desktop-demo.png");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "desktop-demo: %s\n", error.what());
        return 1;
    }
}
