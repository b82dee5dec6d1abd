// The focused target on the simulated desktop: what is captured, typing a growing reply into
// the field, pasting it whole, undoing it, and the insertion trace.
#include "assistant/target/target.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "runtime/atomic_file.h"
#include "runtime/uuid.h"
#include "tests/support/sim_ports.h"

namespace lumora {
namespace {

using nlohmann::json;

json notesWorld() {
    return json::parse(R"({
      "parentPid": 100,
      "frontmost": 200,
      "apps": [
        {"pid": 100, "name": "Lumora"},
        {"pid": 200, "name": "Notes", "focusedWindow": "window", "focusedElement": "body",
         "elements": [
          {"id": "window", "role": "AXWindow", "title": "Draft — Notes"},
          {"id": "body", "role": "AXTextArea", "parent": "window", "description": "Note body",
           "value": "Dear Ada, 👋 ", "selection": {"location": 13, "length": 0},
           "caretBounds": {"x": 412, "y": 318, "width": 1, "height": 17}},
          {"id": "password", "role": "AXTextField", "subrole": "AXSecureTextField",
           "parent": "window", "value": "hunter2"},
          {"id": "stubborn", "role": "AXTextField", "parent": "window", "value": "",
           "rejectWrites": -25205},
          {"id": "selecting", "role": "AXTextField", "parent": "window", "value": "",
           "selectsInserted": true},
          {"id": "flat", "role": "AXTextField", "parent": "window", "value": "",
           "caretBounds": {"x": 1, "y": 2, "width": 3, "height": 0}}]},
        {"pid": 300, "name": "Safari", "exposesAfterManualAccessibility": true,
         "focusedElement": "search", "elements": [
          {"id": "page", "role": "AXWebArea"},
          {"id": "search", "role": "AXTextField", "parent": "page", "placeholder": "Search",
           "value": ""}]}
      ],
      "windows": [
        {"number": 7, "ownerPid": 100, "layer": 1000, "name": "Lumora"},
        {"number": 41, "ownerPid": 200, "layer": 3, "name": "Draft — Notes"},
        {"number": 40, "ownerPid": 200, "name": "Other note",
         "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}},
        {"number": 42, "ownerPid": 200, "name": "Draft — Notes",
         "bounds": {"x": 200, "y": 120, "width": 760, "height": 540}}
      ],
      "pasteboard": {"items": [[{"type": "public.utf8-plain-text", "data": "copied earlier"}]]},
      "keyboard": {"layout": {"9": "v"}}
    })");
}

class TargetTest : public testing::Test {
  protected:
    void load(const json& world) {
        sim = std::make_unique<test_support::SimPorts>(world.dump());
        clipboard = std::make_unique<BorrowedClipboard>(loop, sim->ports.pasteboard);
    }
    std::unique_ptr<Target> capture() {
        return std::make_unique<Target>(sim->ports, loop, *clipboard);
    }
    sim::SimDesktop& desktop() { return *sim->desktop; }
    std::string value(const std::string& id) { return desktop().field(id)->value; }

    // Runs an insert to completion, past the clipboard restore; `meanwhile` acts while the
    // paste waits for the keyboard to settle.
    bool insert(Target& target, std::string text, const std::function<void()>& meanwhile = {}) {
        std::optional<bool> pasted;
        auto run = [](Target& target, std::string text, std::optional<bool>& out) -> Task<void> {
            out = co_await target.insert(std::move(text), true);
        };
        spawn(loop, run(target, std::move(text), pasted));
        loop.runUntilIdle();
        if (meanwhile) meanwhile();
        loop.advance(2.0);
        EXPECT_TRUE(pasted.has_value());
        return pasted.value_or(false);
    }

    ManualClock clock;
    EventLoop loop{clock};
    std::unique_ptr<test_support::SimPorts> sim;
    std::unique_ptr<BorrowedClipboard> clipboard;
};

TEST_F(TargetTest, CapturesTheFocusedFieldItsWindowAndItsContext) {
    load(notesWorld());
    auto target = capture();
    ASSERT_TRUE(target->application());
    EXPECT_EQ(target->application()->pid, 200);
    EXPECT_EQ(target->sourceContext(),
              (AssistantSource{"Notes", "Draft — Notes", "AXTextArea", "Note body"}));
    EXPECT_EQ(target->original(), (TargetSnapshot{"Dear Ada, 👋 ", 13, 0}));
    EXPECT_EQ(target->caretBounds(), (platform::Rect{412, 318, 1, 17}));
    EXPECT_EQ(target->selection(), "");
    // The layer-0 window whose name is the focused window's title, not the first listed.
    EXPECT_EQ(target->windowID(), 42u);
    EXPECT_EQ(target->bounds(), (platform::Rect{200, 120, 760, 540}));
    EXPECT_TRUE(target->editable());
    EXPECT_TRUE(target->supportsStreamingInsertion());
    EXPECT_FALSE(target->canUndo());
    EXPECT_FALSE(target->isSecureField());
}

TEST_F(TargetTest, CapturesTheSelectionAndDropsFlatCaretBounds) {
    json world = notesWorld();
    world["apps"][1]["elements"][1]["selection"] = {{"location", 0}, {"length", 4}};
    load(world);
    EXPECT_EQ(capture()->selection(), "Dear");

    desktop().setFocusedElement(200, "flat");
    auto flat = capture();
    EXPECT_TRUE(flat->original());
    EXPECT_FALSE(flat->caretBounds());
}

TEST_F(TargetTest, NothingIsReadFromAPasswordFieldAndNothingIsPastedIntoIt) {
    load(notesWorld());
    desktop().setFocusedElement(200, "password");
    auto target = capture();
    EXPECT_TRUE(target->isSecureField());
    EXPECT_FALSE(target->original());
    EXPECT_EQ(target->selection(), "");
    EXPECT_EQ(target->sourceContext().focusedRole, "");
    EXPECT_EQ(target->sourceContext().focusedLabel, "");
    EXPECT_EQ(target->sourceContext().windowTitle, "Draft — Notes");
    EXPECT_FALSE(target->editable());

    long changeCount = desktop().pasteboard().changeCount();
    EXPECT_FALSE(insert(*target, "Thanks"));
    EXPECT_EQ(target->insertionFailure(), "secure-text-field");
    EXPECT_EQ(desktop().pasteboard().changeCount(), changeCount);
    EXPECT_EQ(value("password"), "hunter2");
}

TEST_F(TargetTest, WithoutTrustOnlyTheApplicationAndItsWindowAreKnown) {
    load(notesWorld());
    desktop().setAccessibilityTrusted(false);
    auto target = capture();
    EXPECT_FALSE(target->original());
    EXPECT_FALSE(target->editable());
    // No accessibility title: the window server's name of the first kept window.
    EXPECT_EQ(target->sourceContext(), (AssistantSource{"Notes", "Other note", "", ""}));
    EXPECT_EQ(target->windowID(), 40u);
    EXPECT_FALSE(insert(*target, "Hi")) << "the paste's own check needs trust";
    EXPECT_EQ(target->insertionFailure(), "paste-canceled-or-source-changed");
}

TEST_F(TargetTest, TitlesAndLabelsAreCutByCharactersAndEmptyTitlesFallBack) {
    json world = notesWorld();
    std::string longTitle;
    for (int i = 0; i < 600; ++i) longTitle += "é";
    std::string longLabel;
    for (int i = 0; i < 400; ++i) longLabel += "👋";
    world["apps"][1]["elements"][0]["title"] = longTitle;
    world["apps"][1]["elements"][1]["title"] = longLabel;
    load(world);
    auto target = capture();
    EXPECT_EQ(target->sourceContext().windowTitle, longTitle.substr(0, 500 * 2));
    EXPECT_EQ(target->sourceContext().focusedLabel, longLabel.substr(0, 300 * 4));
    EXPECT_EQ(target->windowID(), 40u) << "no window carries the long title";

    world["apps"][1]["elements"][0]["title"] = "";
    world["apps"][1]["elements"][1].erase("title");
    world["apps"][1]["elements"][1].erase("description");
    world["apps"][1]["elements"][1]["placeholder"] = "Write here";
    load(world);
    target = capture();
    EXPECT_EQ(target->sourceContext().windowTitle, "Other note");
    EXPECT_EQ(target->sourceContext().focusedLabel, "Write here");
}

TEST_F(TargetTest, WebContentIsExposedOnRequestButNeverStreamedInto) {
    json world = notesWorld();
    world["frontmost"] = 300;
    load(world);
    auto target = capture();
    EXPECT_EQ(desktop().manualAccessibilityRequests(), std::vector<pid_t>{300});
    EXPECT_TRUE(target->original());
    EXPECT_EQ(target->sourceContext().focusedLabel, "Search");
    EXPECT_FALSE(target->supportsStreamingInsertion());
    target->streamInsert("Hello");
    EXPECT_EQ(value("search"), "");
    EXPECT_FALSE(target->hasStreamMutation());
    EXPECT_TRUE(insert(*target, "Hello"));
    EXPECT_EQ(value("search"), "Hello");
}

TEST_F(TargetTest, AFieldMoreThan63ElementsBelowItsWindowNeverStreams) {
    for (int depth : {62, 63}) {
        json world = notesWorld();
        json& elements = world["apps"][1]["elements"];
        std::string parent = "window";
        for (int level = 0; level < depth; ++level) {
            std::string id = "group" + std::to_string(level);
            elements.push_back({{"id", id}, {"role", "AXGroup"}, {"parent", parent}});
            parent = id;
        }
        elements[1]["parent"] = parent;
        load(world);
        // The field, `depth` groups, then the window: 64 elements examined at most.
        EXPECT_EQ(capture()->supportsStreamingInsertion(), depth == 62) << depth;
    }
}

TEST_F(TargetTest, StreamsAGrowingReplyThenUndoesIt) {
    load(notesWorld());
    auto target = capture();
    for (const char* reply : {"Th", "Thank", "Thank you 🙏", "Thank you 🙏"}) {
        target->streamInsert(reply);
    }
    EXPECT_EQ(value("body"), "Dear Ada, 👋 Thank you 🙏");
    EXPECT_EQ(desktop().field("body")->selection, (platform::TextRange{25, 0}));
    EXPECT_TRUE(target->hasStreamMutation());
    EXPECT_TRUE(target->canUndo());
    EXPECT_TRUE(target->streamCompleted("Thank you 🙏"));
    EXPECT_FALSE(target->streamCompleted("Thank you"));

    EXPECT_TRUE(target->undo());
    EXPECT_EQ(value("body"), "Dear Ada, 👋 ");
    EXPECT_EQ(desktop().field("body")->selection, (platform::TextRange{13, 0}));
    EXPECT_FALSE(target->canUndo());
    EXPECT_FALSE(target->undo());
}

TEST_F(TargetTest, TheUsersOwnChangesStopStreamingAndUndo) {
    load(notesWorld());
    auto target = capture();
    target->streamInsert("Thanks");
    // The user clicks elsewhere in the same field.
    desktop().editField("body", value("body"), {2, 0});
    EXPECT_FALSE(target->streamCompleted("Thanks"));
    target->streamInsert("Thanks, Ada");
    EXPECT_EQ(value("body"), "Dear Ada, 👋 Thanks");
    EXPECT_TRUE(target->canUndo()) << "the receipt stays; undo checks the field itself";
    EXPECT_FALSE(target->undo());
    EXPECT_EQ(value("body"), "Dear Ada, 👋 Thanks");
}

TEST_F(TargetTest, UndoNeedsTheSourceInFrontWithTheSameFieldFocused) {
    load(notesWorld());
    auto target = capture();
    target->streamInsert("Hi");
    desktop().setFocusedElement(200, "stubborn");
    EXPECT_FALSE(target->undo());
    desktop().setFocusedElement(200, "body");
    desktop().setFrontmost(300);
    EXPECT_FALSE(target->undo());
    desktop().setFrontmost(200);
    EXPECT_TRUE(target->undo());
}

TEST_F(TargetTest, ARejectedFirstWriteLeavesThePasteFallbackOpen) {
    load(notesWorld());
    desktop().setFocusedElement(200, "stubborn");
    auto target = capture();
    target->streamInsert("Hello");
    EXPECT_FALSE(target->hasStreamMutation());
    EXPECT_FALSE(target->streamCompleted("Hello"));
    EXPECT_TRUE(insert(*target, "Hello"));
    EXPECT_EQ(value("stubborn"), "Hello");
    EXPECT_EQ(desktop().pasteboard().data(0, platform::plainTextType), "copied earlier");
    EXPECT_FALSE(target->canUndo());
}

TEST_F(TargetTest, AFieldThatSelectsWhatWasTypedStopsStreamingWithoutFallback) {
    load(notesWorld());
    desktop().setFocusedElement(200, "selecting");
    auto target = capture();
    target->streamInsert("Hel");
    target->streamInsert("Hello");
    EXPECT_EQ(value("selecting"), "Hel");
    EXPECT_TRUE(target->hasStreamMutation());
    EXPECT_FALSE(target->canUndo());
    EXPECT_FALSE(target->streamCompleted("Hello"));
}

TEST_F(TargetTest, InsertRefusesWhenTheSourceIsGoneOrBehind) {
    load(notesWorld());
    auto target = capture();
    desktop().setFrontmost(300);
    EXPECT_FALSE(insert(*target, "Hi"));
    EXPECT_EQ(target->insertionFailure(), "source-app-not-frontmost");
    desktop().terminate(200);
    EXPECT_FALSE(insert(*target, "Hi"));
    EXPECT_EQ(target->insertionFailure(), "source-app-unavailable");
    EXPECT_TRUE(desktop().postedEvents().empty());
}

TEST_F(TargetTest, ThePasteStopsWhenTheSourceChangesOrAModifierIsHeldMeanwhile) {
    auto flags = [this](platform::EventFlags held) {
        return [this, held] {
            platform::InputEvent event;
            event.type = platform::InputEventType::flagsChanged;
            event.flags = held;
            desktop().deliverInput(event);
        };
    };
    struct Case {
        const char* name;
        std::function<void()> meanwhile;
        bool pasted;
    };
    const std::vector<Case> cases = {
        {"switched to another app", [this] { desktop().setFrontmost(300); }, false},
        {"focused a password field", [this] { desktop().setFocusedElement(200, "password"); },
         false},
        {"holds Fn", flags(platform::eventFlags::function), false},
        {"holds Shift", flags(platform::eventFlags::shift), false},
        {"caps lock is on", flags(0x10000), true},  // not a modifier of shortcuts
    };
    for (const Case& c : cases) {
        load(notesWorld());
        auto target = capture();
        long changeCount = desktop().pasteboard().changeCount();
        EXPECT_EQ(insert(*target, "Thanks", c.meanwhile), c.pasted) << c.name;
        if (c.pasted) {
            EXPECT_EQ(value("body"), "Dear Ada, 👋 Thanks") << c.name;
            EXPECT_FALSE(target->insertionFailure()) << c.name;
            continue;
        }
        EXPECT_EQ(target->insertionFailure(), "paste-canceled-or-source-changed") << c.name;
        EXPECT_EQ(desktop().pasteboard().changeCount(), changeCount) << c.name;
        EXPECT_TRUE(desktop().postedEvents().empty()) << c.name;
        EXPECT_EQ(value("body"), "Dear Ada, 👋 ") << c.name;
    }
}

class TargetTraceTest : public TargetTest {
  protected:
    TargetTraceTest()
        : directory(std::filesystem::temp_directory_path() /
                    ("lumora-trace-" + Uuid::random().string()) / "audit") {
        json world = notesWorld();
        world["system"] = {{"environment", {{"LUMORA_AUDIT_DIR", directory.string()}}}};
        load(world);
    }
    ~TargetTraceTest() override { std::filesystem::remove_all(directory.parent_path()); }

    std::vector<json> lines() {
        std::vector<json> result;
        std::ifstream file(directory / "insertion-trace.log");
        for (std::string line; std::getline(file, line);) result.push_back(json::parse(line));
        return result;
    }

    std::filesystem::path directory;
};

TEST_F(TargetTraceTest, WritesOneSortedRecordPerStepPrivately) {
    auto target = capture();
    double tracedAt = clock.wallSeconds();
    target->trace("target-captured", 0);
    desktop().setFrontmost(300);
    EXPECT_FALSE(insert(*target, "Hi 👋"));

    auto records = lines();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], json({{"time", tracedAt},
                                {"stage", "target-captured"},
                                {"accessibilityTrusted", true},
                                {"app", "Notes"},
                                {"role", "AXTextArea"},
                                {"frontmost", true},
                                {"sameElement", true},
                                {"hadSnapshot", true},
                                {"hasSnapshot", true},
                                {"sameSnapshot", true},
                                {"originalCaret", 13},
                                {"currentCaret", 13},
                                {"textCount", 0},
                                {"failure", ""}}));
    EXPECT_EQ(records[1]["stage"], "insert-attempt");
    EXPECT_EQ(records[1]["textCount"], 4);
    EXPECT_EQ(records[1]["frontmost"], false);
    EXPECT_EQ(records[1]["sameElement"], false);
    EXPECT_EQ(records[2]["stage"], "insert-refused");
    EXPECT_EQ(records[2]["failure"], "source-app-not-frontmost");

    std::string text = *files::readAll((directory / "insertion-trace.log").string());
    EXPECT_EQ(text.substr(0, 20), R"({"accessibilityTrust)") << "keys sorted";
    struct stat info {};
    ASSERT_EQ(stat(directory.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((directory / "insertion-trace.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(TargetTraceTest, ALogGrownBeyondItsLimitStartsOver) {
    std::filesystem::create_directories(directory);
    std::string path = (directory / "insertion-trace.log").string();
    ASSERT_TRUE(files::replaceAtomically(path, std::string(65'536, 'x'), 0600));
    capture()->trace("kept", 0);
    std::string kept = *files::readAll(path);
    EXPECT_TRUE(kept.starts_with(std::string(65'536, 'x') + "{")) << "at the limit it is kept";
    EXPECT_NE(kept.find(R"("stage":"kept")"), std::string::npos);

    ASSERT_TRUE(files::replaceAtomically(path, std::string(65'537, 'x'), 0600));
    capture()->trace("fresh", 0);
    auto records = lines();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["stage"], "fresh");
}

TEST_F(TargetTraceTest, AnUnwritableDirectoryChangesNothingForTheRequest) {
    std::filesystem::create_directories(directory.parent_path());
    std::ofstream(directory) << "a file where the directory should be";
    auto target = capture();
    target->trace("target-captured", 0);
    target->streamInsert("Thanks");
    EXPECT_EQ(value("body"), "Dear Ada, 👋 Thanks");
    EXPECT_TRUE(target->streamCompleted("Thanks"));
    EXPECT_TRUE(target->undo());
    EXPECT_EQ(value("body"), "Dear Ada, 👋 ");

    EXPECT_TRUE(insert(*capture(), "Hi"));
    EXPECT_EQ(value("body"), "Dear Ada, 👋 Hi");
    auto behind = capture();
    desktop().setFrontmost(300);
    EXPECT_FALSE(insert(*behind, "Hi"));
    EXPECT_EQ(behind->insertionFailure(), "source-app-not-frontmost");
    EXPECT_TRUE(std::filesystem::is_regular_file(directory));
}

}  // namespace
}  // namespace lumora
