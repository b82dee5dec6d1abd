#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/linux_system.h"
#include "tests/platform/sim/sim_fixture.h"

namespace lumora::sim {
namespace {

TEST(Scenario, AnEmptyScenarioIsAnEmptyDesktopWithEverythingPermitted) {
    auto desktop = desktopFrom("{}");
    EXPECT_EQ(desktop->workspace().frontmostApplication(), std::nullopt);
    EXPECT_TRUE(desktop->workspace().runningApplications().empty());
    EXPECT_EQ(desktop->workspace().parentProcessId(), 1);
    EXPECT_TRUE(desktop->windows().onScreenWindows().empty());
    EXPECT_EQ(desktop->pasteboard().changeCount(), 0);
    EXPECT_EQ(desktop->pasteboard().itemCount(), 0u);

    auto& permissions = desktop->permissions();
    EXPECT_EQ(permissions.microphoneStatus(), 3);
    EXPECT_EQ(permissions.speechRecognitionStatus(), 3);
    EXPECT_TRUE(permissions.accessibilityTrusted());
    EXPECT_TRUE(permissions.screenCapturePreflight());

    auto& system = desktop->system();
    EXPECT_EQ(system.osVersion().major, 15);
    EXPECT_EQ(system.osVersion().minor, 4);
    EXPECT_EQ(system.osVersion().versionString, "15.4");
    EXPECT_EQ(system.currentLocale(), "en_US");
    platform::LinuxSystem real;
    EXPECT_EQ(system.environment("PATH"), real.environment("PATH"));
    EXPECT_EQ(system.homeDirectory(), real.homeDirectory());
    EXPECT_EQ(system.temporaryDirectory(), real.temporaryDirectory());
}

TEST(Scenario, TheFirstApplicationIsInFrontUnlessNamed) {
    auto first = desktopFrom(R"({"apps": [{"pid": 7}, {"pid": 8}]})");
    EXPECT_EQ(first->workspace().frontmostApplication()->pid, 7);
    auto named = desktopFrom(R"({"apps": [{"pid": 7}, {"pid": 8}], "frontmost": 8})");
    EXPECT_EQ(named->workspace().frontmostApplication()->pid, 8);
}

TEST(Scenario, SystemFactsAreLayeredOverTheMachinesOwn) {
    auto desktop = desktopFrom(R"({"system": {
        "osVersion": "26.1.2", "locale": "fr_CH",
        "environment": {"PATH": null, "LUMORA_AUDIT_DIR": "/tmp/audit"},
        "homeDirectory": "/Users/ada", "temporaryDirectory": "/private/tmp/ada"}})");
    auto& system = desktop->system();
    auto version = system.osVersion();
    EXPECT_EQ(version.major, 26);
    EXPECT_EQ(version.minor, 1);
    EXPECT_EQ(version.patch, 2);
    EXPECT_EQ(version.versionString, "26.1.2");
    EXPECT_EQ(system.currentLocale(), "fr_CH");
    EXPECT_EQ(system.environment("PATH"), std::nullopt);
    EXPECT_EQ(system.environment("LUMORA_AUDIT_DIR"), "/tmp/audit");
    EXPECT_EQ(system.homeDirectory(), "/Users/ada");
    EXPECT_EQ(system.temporaryDirectory(), "/private/tmp/ada");
}

struct MalformedCase {
    std::string scenario;
    std::string description;
};

TEST(Scenario, AMalformedScenarioNamesTheKeyThatIsWrong) {
    const std::vector<MalformedCase> cases = {
        {"{", "The scenario is not valid JSON"},
        {"[]", "The scenario must be a JSON object"},
        {R"({"unknown": 1})", R"(Scenario key "unknown" is not known)"},
        {R"({"apps": {}})", R"(Scenario key "apps" must be an array)"},
        {R"({"apps": [{"name": "x"}]})", R"(Scenario key "apps[0].pid" is required)"},
        {R"({"apps": [{"pid": "1"}]})",
         R"(Scenario key "apps[0].pid" must be an integer from 1 to 2147483647)"},
        {R"({"apps": [{"pid": 1}, {"pid": 1}]})",
         R"(Scenario key "apps[1].pid" repeats the pid 1)"},
        {R"({"apps": [{"pid": 1, "elments": []}]})",
         R"(Scenario key "apps[0].elments" is not known)"},
        {R"({"apps": [{"pid": 1, "elements": [{"id": "a"}, {"id": "a"}]}]})",
         R"(Scenario key "apps[0].elements[1].id" repeats the element id "a")"},
        {R"({"apps": [{"pid": 1, "elements": [{"id": "a", "parent": "w"}]}]})",
         R"(Scenario key "apps[0].elements[0].parent" names "w", which is not an element of this application)"},
        {R"({"apps": [{"pid": 1, "elements": [{"id": "a"}]}, {"pid": 2, "focusedElement": "a"}]})",
         R"(Scenario key "apps[1].focusedElement" names "a", which is not an element of this application)"},
        {R"({"apps": [{"pid": 1, "elements": [{"id": "a", "value": "ab", "selection": {"location": 1, "length": 2}}]}]})",
         R"(Scenario key "apps[0].elements[0].selection" lies beyond the end of the value)"},
        {R"({"apps": [{"pid": 1, "elements": [{"id": "a", "selection": {"location": 0}}]}]})",
         R"(Scenario key "apps[0].elements[0].selection.length" is required)"},
        {R"({"apps": [{"pid": 1, "elements": [{"id": "a", "settable": ["AXFocused"]}]}]})",
         R"(Scenario key "apps[0].elements[0].settable" may only hold AXValue, AXSelectedText and AXSelectedTextRange)"},
        {R"({"apps": [{"pid": 1, "elements": [{"id": "a", "rejectWrites": 5}]}]})",
         R"(Scenario key "apps[0].elements[0].rejectWrites" must be an integer from -2147483648 to -1)"},
        {R"({"frontmost": 5})", R"(Scenario key "frontmost" names no application of the scenario)"},
        {R"({"windows": [{"image": {"width": 2, "height": 2, "fill": "red"}}]})",
         R"(Scenario key "windows[0].image.fill" must be a colour as #RRGGBB or #RRGGBBAA)"},
        {R"({"windows": [{"image": {"width": 2}}]})",
         R"(Scenario key "windows[0].image.height" is required without a path)"},
        {R"({"windows": [{"scale": 0}]})",
         R"(Scenario key "windows[0].scale" must be greater than 0)"},
        {R"({"pasteboard": {"items": [{"type": "x"}]}})",
         R"(Scenario key "pasteboard.items[0]" must be an array)"},
        {R"({"pasteboard": {"items": [[{"data": "x"}]]}})",
         R"(Scenario key "pasteboard.items[0][0].type" is required)"},
        {R"({"pasteboard": {"items": [[{"type": "x", "base64": "***"}]]}})",
         R"(Scenario key "pasteboard.items[0][0].base64" is not valid base64)"},
        {R"({"permissions": {"microphone": 4}})",
         R"(Scenario key "permissions.microphone" must be an integer from 0 to 3)"},
        {R"({"permissions": {"accessibility": 1}})",
         R"(Scenario key "permissions.accessibility" must be true or false)"},
        {R"({"system": {"osVersion": "26."}})",
         R"(Scenario key "system.osVersion" must be a version such as "26.1")"},
        {R"({"system": {"environment": {"HOME": 1}}})",
         R"(Scenario key "system.environment.HOME" must be a string)"},
        {R"({"keyboard": {"layout": {"200": "v"}}})",
         R"(Scenario key "keyboard.layout.200" must be a key code from 0 to 127)"},
        {R"({"keyboard": {"layout": {}, "noLayoutData": true}})",
         R"(Scenario key "keyboard.noLayoutData" contradicts "layout")"},
        {R"({"keyboard": {"pressedKeys": [-1]}})",
         R"(Scenario key "keyboard.pressedKeys" must be an array of key codes)"},
        {R"({"speech": {"results": [{"text": 1}]}})",
         R"(Scenario key "speech.results[0].text" must be a string)"},
        {R"({"speech": {"results": [{"afterAudio": -0.5}]}})",
         R"(Scenario key "speech.results[0].afterAudio" must not be negative)"},
        {R"({"speech": {"locales": "en_US"}})",
         R"(Scenario key "speech.locales" must be an array of strings)"},
        {R"({"audio": {"sampleRate": -1}})",
         R"(Scenario key "audio.sampleRate" must not be negative)"},
        {R"({"audio": {"samples": [0, "loud"]}})",
         R"(Scenario key "audio.samples" must be an array of numbers)"},
        {R"({"processes": {"/bin/x": {"exitStatus": 256}}})",
         R"(Scenario key "processes./bin/x.exitStatus" must be an integer from 0 to 255)"},
        {R"({"languageModel": {"replies": [{"configuration": "fast"}]}})",
         R"(Scenario key "languageModel.replies[0].configuration" must be "standard" or "generalPermissive")"},
        {R"({"languageModel": {"replies": [{"chunkSize": 0}]}})",
         R"(Scenario key "languageModel.replies[0].chunkSize" must be an integer from 1 to 2147483647)"},
        {R"({"languageModel": {"defaultReply": {"match": "x"}}})",
         R"(Scenario key "languageModel.defaultReply.match" is not known)"},
    };
    for (const auto& c : cases) {
        try {
            SimDesktop::load(c.scenario);
            ADD_FAILURE() << "accepted " << c.scenario;
        } catch (const Error& error) {
            EXPECT_EQ(error.domain, "Lumora.Sim");
            EXPECT_EQ(error.code, 1);
            EXPECT_EQ(error.description, c.description) << c.scenario;
        }
    }
}

TEST(EmbeddedScenario, IsADraftInNotesWithLumoraAsTheParent) {
    auto desktop = desktopFrom(SimDesktop::embeddedScenario());
    auto& workspace = desktop->workspace();
    EXPECT_EQ(workspace.frontmostApplication(),
              (platform::RunningApplication{200, "Notes", "com.apple.Notes"}));
    EXPECT_EQ(workspace.parentProcessId(), 100);
    auto running = workspace.runningApplications();
    ASSERT_EQ(running.size(), 3u);
    EXPECT_EQ(running[0], (platform::RunningApplication{100, "Lumora", "com.vantor.app"}));
    EXPECT_EQ(running[2].localizedName, "Safari");

    auto windows = desktop->windows().onScreenWindows();
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(windows[1].number, 42u);
    EXPECT_EQ(windows[1].ownerPid, 200);
    EXPECT_EQ(windows[1].layer, 0);
    EXPECT_EQ(windows[1].name, "Draft — Notes");

    auto& ax = desktop->accessibility();
    auto focused = ax.copyAttribute(ax.systemWideElement(), "AXFocusedUIElement");
    ASSERT_TRUE(focused);
    auto body = std::get<platform::AXElement>(*focused);
    EXPECT_EQ(ax.isAttributeSettable(body, "AXSelectedText"), true);
    auto range = ax.copyAttribute(body, "AXSelectedTextRange");
    ASSERT_TRUE(range);
    EXPECT_EQ(std::get<platform::TextRange>(*range).length, 0);

    EXPECT_EQ(desktop->system().osVersion().major, 26);
    EXPECT_EQ(desktop->system().osVersion().versionString, "26.1");
    EXPECT_TRUE(desktop->permissions().accessibilityTrusted());
    EXPECT_TRUE(desktop->permissions().screenCapturePreflight());
    EXPECT_TRUE(desktop->languageModel().availability().isAvailable);
    ManualClock clock;
    EventLoop loop(clock);
    auto session =
        desktop->languageModel().makeSession(platform::ModelConfiguration::standard, "Write.");
    auto reply = callModel(loop, *session, "Write a short thank-you note", false)->answer;
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->substr(0, 2), "0|");
}

}  // namespace
}  // namespace lumora::sim
