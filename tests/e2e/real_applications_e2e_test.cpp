// The helper in the applications people write in, through pipes: one story per application,
// the test playing the Lumora app and the user, and every application's text read back by its
// own means, never through the helper's route.
#include <gtest/gtest.h>

#include <chrono>
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
using testing::eventsOf;
using Application = TestDesktop::Application;

struct Row {
    Application application;
    std::string app;
    std::string role;
    // Whether the answer is typed into the field as it grows, and can be undone; a browser's
    // field takes it whole, pasted.
    bool streams;
    // What Ctrl+Shift+Right selects at the start of the note.
    std::string firstWord = "Draft";
    // Whether the helper starts after the user selected. Firefox's first answers about a page
    // nobody has asked about may outlast the bus bound on a busy machine, so the browsers are
    // met, as most applications are, by a helper already running when the user comes to them.
    bool coldStart = true;
};

const std::vector<Row> rows = {
    {Application::mousepad, "Mousepad", "AXTextArea", true},
    {Application::featherpad, "FeatherPad", "AXTextArea", true},
    {Application::textEditor, "Text Editor", "AXTextArea", true},
    {Application::writer, "LibreOffice Writer", "AXTextArea", true},
    {Application::chromium, "Chromium Web Browser", "AXTextArea", false, "Draft", false},
    {Application::firefox, "Firefox ESR", "AXTextArea", false, "Draft:", false},
};

// Two paragraphs: Writer makes each an element of its own, and the caret moves between them.
const std::string note = "Draft: caf\u00e9 notes\nfor Zo\u00eb";
// Skin tone and family emoji, CJK, accents and a blank line; a few hundred characters.
const std::string answer =
    " Thanks \U0001F44D\U0001F3FD from the \U0001F469\u200D\U0001F4BB team: \u4F60\u597D\uFF0C"
    "\u4E16\u754C. Na\u00EFve caf\u00E9s in Z\u00FCrich serve cr\u00E8me br\u00FBl\u00E9e "
    "\u2014 and \U0001F468\u200D\U0001F469\u200D\U0001F467 families agree.\n\nA second paragraph "
    "after a blank line keeps going so that the answer arrives in many pieces, each typed into "
    "the field as it comes, with nothing lost and nothing doubled along the way.";
// Where the app's snapshots end: inside the skin-toned thumb, inside the ZWJ sequence, between
// CJK characters and inside the family.
const std::vector<std::string> cuts = {"\U0001F44D", "\U0001F469\u200D", "\u4F60",
                                       "\U0001F468\u200D\U0001F469"};

std::string cloudLine(const char* command, int id, const std::string& text) {
    return commandLine({{"command", command}, {"id", id}, {"action", "text"}, {"text", text}});
}

std::string ask(int id, const std::string& text) {
    return commandLine({{"command", "ask"}, {"id", id}, {"text", text}, {"provider", "cloud"}});
}

// The cloud's answer as the app relays it: cumulative snapshots cut inside characters, then
// the whole.
std::string streamedAnswer(int id) {
    std::string lines;
    for (const std::string& cut : cuts) {
        std::size_t end = answer.find(cut) + cut.size();
        lines += cloudLine("hosted_snapshot", id, answer.substr(0, end));
    }
    return lines + cloudLine("hosted_complete", id, answer);
}

// The user's hand selects the note's first word from the keyboard. (Behind characters beyond
// the Basic Multilingual Plane, Chromium reports selections where they are not.)
const std::string replacement = "the whole team \U0001F469\u200D\U0001F4BB";
// An answer the user walks away from: after its first part they switch to another window.
const std::string interruptedPart = " And once more, in part";
const std::string interrupted = interruptedPart + ", and the rest.";

std::string openAndAsk(int id, const std::string& request) {
    return commandLine({{"command", "open"}, {"id", id}}) + ask(id, request);
}

bool inside(const json& bounds, const TestDesktop::Geometry& window) {
    double x = bounds["x"], y = bounds["y"], width = bounds["width"], height = bounds["height"];
    return x >= window.x && y >= window.y && x + width <= window.x + window.width &&
           y + height <= window.y + window.height;
}

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.app;
}

class RealApplicationsTest : public ::testing::TestWithParam<Row> {};

// Started beside a word the user selected (or running when they came back to select it), the
// helper finds it and a pasted answer replaces it; after the user switched windows and back, a
// streamed answer lands exactly and undo takes it back (a browser's field takes it pasted); an
// answer the user switches away from mid-stream reaches no other window.
TEST_P(RealApplicationsTest, AnswersLandExactlyInTheApplication) {
    const Row& row = GetParam();
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor bystander = desktop.openEditor("Elsewhere");
    TestDesktop::Editor editor = desktop.openApplication(row.application, note);
    const TestDesktop::Geometry window = desktop.windowGeometry(editor);
    // An application that just took the focus back may miss the first keys.
    bool wordSelected = false;
    auto selectFirstWord = [&] {
        for (int attempt = 0; attempt < 3 && !wordSelected; ++attempt) {
            desktop.pressKeys(editor, {"ctrl+Home", "ctrl+shift+Right"});
            wordSelected = desktop.awaitSelected(row.firstWord);
        }
    };
    // The user's hand goes to the shortcut; a browser on a busy machine gives its page the
    // focus back a moment after its window.
    auto comeBack = [&] {
        desktop.switchTo(bystander);
        desktop.switchTo(editor);
        std::this_thread::sleep_for(std::chrono::seconds(1));
    };

    std::string replaced, answered, undone, walkedAway;
    bool clipboardBack = true;
    // The application asks for a pasted answer when it gets to it; once the user's clipboard is
    // back, it has.
    auto settledText = [&](const std::string& delivered) {
        clipboardBack &=
            eventually([&] { return desktop.pasteFromClipboard("UTF8_STRING") != delivered; });
        return desktop.shownText(editor);
    };
    std::vector<testing::Exchange> story = {
        {"\"phase\":\"generation_input\"", cloudLine("hosted_complete", 1, replacement)},
        {"\"message\":\"Text inserted\"", openAndAsk(2, "Thank the team"), 1,
         [&] {
             replaced = settledText(replacement);
             desktop.pressKeys(editor, {"ctrl+End"});
             comeBack();
         }},
        {"\"phase\":\"generation_input\"", streamedAnswer(2), 2}};
    const std::string thirdRequest = openAndAsk(3, "Once more");
    if (row.streams) {
        story.push_back({"\"message\":\"Text inserted\"",
                         commandLine({{"command", "undo"}, {"id", 2}}), 2,
                         [&] { answered = settledText(answer); }});
        story.push_back({"\"message\":\"Change undone\"", thirdRequest, 1,
                         [&] { undone = desktop.shownText(editor); }});
    } else {
        // A pasted answer keeps nothing to undo it with.
        story.push_back({"\"message\":\"Text inserted\"", thirdRequest, 2,
                         [&] { answered = undone = settledText(answer); }});
    }
    story.push_back(
        {"\"phase\":\"generation_input\"", cloudLine("hosted_snapshot", 3, interruptedPart), 3});
    story.push_back({interruptedPart,
                     cloudLine("hosted_snapshot", 3, interrupted) +
                         cloudLine("hosted_complete", 3, interrupted),
                     1, [&] { desktop.switchTo(bystander); }});
    story.push_back({row.streams ? "Could not safely finish" : "Could not paste", "", 1,
                     [&] { walkedAway = desktop.shownText(editor); }});

    std::string firstInput = openAndAsk(1, "Name everyone");
    if (row.coldStart) {
        selectFirstWord();
    } else {
        story.insert(story.begin(), {"\"phase\":\"availability\"", firstInput, 1, [&] {
                                         comeBack();
                                         selectFirstWord();
                                     }});
        firstInput = commandLine({{"command", "status"}, {"id", 1}});
    }
    auto result = testing::runDialogue(testing::builtProgram("assistant/lumora-assistant"),
                                       firstInput, story, environmentOn(desktop));
    const std::string elsewhere = desktop.shownText(bystander);
    desktop.closeEditor(editor);
    desktop.closeEditor(bystander);
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    std::vector<json> results = eventsOf(result, "result");
    ASSERT_FALSE(results.empty()) << result.out;
    EXPECT_TRUE(wordSelected);
    EXPECT_EQ(results[0]["source"], row.app);
    EXPECT_EQ(results[0]["canInsert"], true);
    // The selection's own rectangle, not the window's.
    EXPECT_LT(results[0]["bounds"]["height"].get<double>(), 60) << results[0];
    EXPECT_TRUE(inside(results[0]["bounds"], window)) << results[0]["bounds"];
    std::vector<json> inputs = eventsOf(result, "generation_input");
    ASSERT_EQ(inputs.size(), 3u) << result.out;
    for (const json& input : inputs) {
        EXPECT_EQ(input["source"]["app"], row.app);
        EXPECT_EQ(input["source"]["focusedRole"], row.role);
    }
    EXPECT_EQ(inputs[0]["selection"], row.firstWord);
    EXPECT_TRUE(clipboardBack);
    EXPECT_EQ(replaced, replacement + note.substr(row.firstWord.size()));
    EXPECT_EQ(answered, replaced + answer);
    EXPECT_EQ(undone, row.streams ? replaced : answered);
    // What was typed before the user left stays where it was typed; nothing follows them.
    EXPECT_EQ(walkedAway, row.streams ? undone + interruptedPart : undone);
    EXPECT_EQ(elsewhere, "Elsewhere");
}

INSTANTIATE_TEST_SUITE_P(Applications, RealApplicationsTest, ::testing::ValuesIn(rows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             std::string name;
                             for (char c : info.param.app) {
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             }
                             return name;
                         });

}  // namespace
}  // namespace lumora
