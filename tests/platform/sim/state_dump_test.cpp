#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "runtime/atomic_file.h"
#include "tests/platform/sim/sim_fixture.h"

namespace lumora::sim {
namespace {

using platform::InputEvent;
using platform::InputEventType;

InputEvent commandKey(InputEventType type, std::uint16_t code) {
    InputEvent event;
    event.type = type;
    event.keyCode = code;
    event.flags = platform::eventFlags::command;
    return event;
}

// The JSON code blocks of a Markdown document, in order.
std::vector<std::string> jsonBlocks(const std::string& markdown) {
    std::vector<std::string> blocks;
    const std::string open = "```json\n";
    for (std::size_t start = markdown.find(open); start != std::string::npos;
         start = markdown.find(open, start)) {
        start += open.size();
        std::size_t end = markdown.find("```", start);
        blocks.push_back(markdown.substr(start, end - start));
        start = end;
    }
    return blocks;
}

TEST(StateDump, TheDocumentedExampleEndsInTheDocumentedState) {
    auto markdown = files::readAll(std::string(LUMORA_SOURCE_DIR) + "/docs/simulated-desktop.md");
    ASSERT_TRUE(markdown);
    auto blocks = jsonBlocks(*markdown);
    ASSERT_EQ(blocks.size(), 2u);
    auto desktop = desktopFrom(blocks[0]);
    ASSERT_EQ(desktop->inputTimeline().size(), 2u);
    EXPECT_EQ(desktop->inputTimeline()[1].at, 1.5);

    desktop->pasteboard().clearContents();
    desktop->pasteboard().setString("Thanks!");
    desktop->keyboard().post(commandKey(InputEventType::keyDown, 47));
    desktop->keyboard().post(commandKey(InputEventType::keyUp, 47));
    desktop->workspace().openURL(
        "x-apple.systempreferences:com.apple.preference.security?Privacy_ScreenCapture");

    EXPECT_EQ(nlohmann::ordered_json::parse(desktop->stateJson()),
              nlohmann::ordered_json::parse(blocks[1]));
}

TEST(StateDump, RecordsWhatTheUserWouldSeeAndWhatWasAsked) {
    auto desktop = desktopFrom(R"({
      "apps": [
        {"pid": 200, "focusedElement": "note", "exposesAfterManualAccessibility": true,
         "elements": [{"id": "note", "role": "AXTextArea", "value": "ab"}, {"id": "group"}]},
        {"pid": 300}
      ],
      "permissions": {"microphone": 0},
      "processes": {"/usr/bin/true": {}}
    })");
    desktop->pasteboard().writeItems({{{"public.png", std::string("\x89PNG", 4)}}});
    desktop->workspace().activate(300);
    desktop->permissions().requestMicrophone([](bool) {});
    desktop->accessibility().setAttribute(desktop->accessibility().applicationElement(200),
                                          "AXManualAccessibility", true);
    desktop->screenCapture().makeProcess("/usr/bin/true", {"-v"})->launch();
    ManualClock clock;
    EventLoop loop(clock);
    auto session = desktop->languageModel().makeSession(
        platform::ModelConfiguration::generalPermissive, "Be brief.");
    callModel(loop, *session, "Hello", false);
    desktop->editField("note", "abc", {1, 1});

    EXPECT_EQ(nlohmann::ordered_json::parse(desktop->stateJson()),
              nlohmann::ordered_json::parse(R"({
      "frontmost": 300,
      "fields": [{"id": "note", "app": 200, "value": "abc", "selection": {"location": 1, "length": 1}}],
      "pasteboard": {"changeCount": 1, "items": [[{"type": "public.png", "base64": "iVBORw=="}]]},
      "activatedApplications": [300],
      "openedURLs": [],
      "postedKeyEvents": [],
      "permissionRequests": ["microphone"],
      "manualAccessibilityRequests": [200],
      "launchedProcesses": [{"executable": "/usr/bin/true", "arguments": ["-v"]}],
      "modelCalls": [{"configuration": "generalPermissive", "instructions": "Be brief.",
                      "prompt": "Hello", "hasImage": false, "streamed": false}]
    })"));
}

TEST(StateDump, IsWrittenWholeToTheNamedFile) {
    auto desktop = desktopFrom(SimDesktop::embeddedScenario());
    auto path =
        std::filesystem::temp_directory_path() / ("sim-state-" + std::to_string(::getpid()));
    ASSERT_TRUE(desktop->writeState(path.string()));
    EXPECT_EQ(files::readAll(path.string()), desktop->stateJson() + "\n");
    std::filesystem::remove(path);
    EXPECT_FALSE(desktop->writeState((path / "missing" / "state.json").string()));
}

}  // namespace
}  // namespace lumora::sim
