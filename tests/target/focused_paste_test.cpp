// The clipboard paste on the simulated desktop: Command-V reaches the focused field, the
// user's clipboard comes back a second later unless somebody copied meanwhile.
#include "assistant/target/focused_paste.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"

namespace lumora {
namespace {

constexpr const char* scenario = R"({
    "apps": [{"pid": 200, "name": "Notes", "focusedElement": "body", "elements": [
        {"id": "body", "role": "AXTextArea", "value": "Dear Ada, "}]}],
    "pasteboard": {"changeCount": 12, "items": [
        [{"type": "public.utf8-plain-text", "data": "copied earlier"},
         {"type": "com.apple.private", "data": "secret"},
         {"type": "public.html", "data": "<b>copied</b> earlier"}],
        [{"type": "public.png", "base64": "iVBORw0KGgo="}],
        [{"type": "com.apple.private", "data": "only unreadable"}]],
        "unreadableTypes": ["com.apple.private"]},
    "keyboard": {"layout": {"0": "a", "9": "k", "47": "v"}}
})";

using Items = std::vector<platform::PasteboardItem>;

class FocusedPasteTest : public testing::Test {
  protected:
    explicit FocusedPasteTest(std::string_view world = scenario)
        : desktop(sim::SimDesktop::load(world)) {}

    // Starts a paste and runs it through its settling sleeps, not yet to the restore.
    void startPaste(std::string text, bool restore, PasteOperations operations = {}) {
        paste = std::make_unique<FocusedPaste>(desktop->pasteboard(), desktop->keyboard(), restores,
                                               std::move(operations));
        handle = spawn(loop, run(std::move(text), restore));
        loop.runUntilIdle();
        loop.advance(0.5);
    }

    Task<void> run(std::string text, bool restore) {
        result = co_await paste->paste(
            std::move(text), restore, [this] { return active; }, [this] { return pressed(); });
    }

    Items clipboard() {
        platform::Pasteboard& board = desktop->pasteboard();
        Items items;
        for (std::size_t index = 0; index < board.itemCount(); ++index) {
            auto& item = items.emplace_back();
            for (const std::string& type : board.types(index)) {
                item.emplace_back(type, board.data(index, type).value_or("<unreadable>"));
            }
        }
        return items;
    }

    std::string body() { return desktop->field("body")->value; }

    ManualClock clock;
    EventLoop loop{clock};
    TaskScope restores{loop};
    std::unique_ptr<sim::SimDesktop> desktop;
    std::unique_ptr<FocusedPaste> paste;
    TaskHandle handle;
    std::optional<bool> result;
    bool active = true;
    std::function<bool()> pressed = [] { return false; };
};

TEST_F(FocusedPasteTest, PastesThenRestoresEveryItemWithItsReadableTypesInOrder) {
    Items before = clipboard();
    startPaste("Thanks!", true);
    EXPECT_EQ(result, true);
    EXPECT_EQ(body(), "Dear Ada, Thanks!");
    EXPECT_EQ(clipboard(), (Items{{{platform::plainTextType, "Thanks!"}}}));

    auto posted = desktop->postedEvents();
    ASSERT_EQ(posted.size(), 2u);
    for (const auto& event : posted) {
        EXPECT_EQ(event.keyCode, 47) << "the key that types v on this layout";
        EXPECT_EQ(event.flags, platform::eventFlags::command);
        EXPECT_EQ(event.userData, 0);
    }
    EXPECT_EQ(posted[0].type, platform::InputEventType::keyDown);
    EXPECT_EQ(posted[1].type, platform::InputEventType::keyUp);

    loop.advance(1.0);
    Items expected = {
        {{"public.utf8-plain-text", "copied earlier"}, {"public.html", "<b>copied</b> earlier"}},
        before[1],
        {},
    };
    EXPECT_EQ(clipboard(), expected);
}

TEST_F(FocusedPasteTest, ACopyWithinTheSecondKeepsTheUsersNewClipboard) {
    startPaste("Thanks!", true);
    desktop->pasteboard().clearContents();
    desktop->pasteboard().setString("the user's own copy");
    loop.advance(1.0);
    EXPECT_EQ(clipboard(), (Items{{{platform::plainTextType, "the user's own copy"}}}));
}

TEST_F(FocusedPasteTest, WithoutRestoreTheReplyStaysOnTheClipboard) {
    startPaste("Thanks!", false);
    loop.advance(2.0);
    EXPECT_EQ(result, true);
    EXPECT_EQ(clipboard(), (Items{{{platform::plainTextType, "Thanks!"}}}));
}

TEST_F(FocusedPasteTest, RefusalsBeforeTheClipboardIsTouched) {
    long changeCount = desktop->pasteboard().changeCount();
    startPaste("", true);
    EXPECT_EQ(result, false);

    active = false;
    startPaste("Thanks!", true);
    EXPECT_EQ(result, false);

    active = true;
    int polls = 0;
    pressed = [&polls] {
        ++polls;
        return true;
    };
    startPaste("Thanks!", true);
    loop.advance(1.0);
    EXPECT_EQ(result, false);
    EXPECT_EQ(polls, 25) << "the first look, then one per poll";

    EXPECT_EQ(desktop->pasteboard().changeCount(), changeCount);
    EXPECT_TRUE(desktop->postedEvents().empty());
    EXPECT_EQ(body(), "Dear Ada, ");
}

TEST_F(FocusedPasteTest, WaitsForAModifierToBeReleased) {
    int polls = 0;
    pressed = [&polls] { return ++polls <= 10; };
    startPaste("Hi", true);
    EXPECT_EQ(result, true);
    EXPECT_EQ(body(), "Dear Ada, Hi");
}

TEST_F(FocusedPasteTest, CancellingWhileWaitingRefusesThePaste) {
    paste = std::make_unique<FocusedPaste>(desktop->pasteboard(), desktop->keyboard(), restores);
    handle = spawn(loop, run("Hi", true));
    loop.runUntilIdle();
    handle.cancel();
    loop.runUntilIdle();
    loop.advance(2.0);
    EXPECT_EQ(result, false);
    EXPECT_EQ(body(), "Dear Ada, ");
}

TEST_F(FocusedPasteTest, FailuresAfterWritingStillRestoreTheClipboard) {
    Items before = clipboard();
    PasteOperations refusingKeys;
    refusingKeys.dispatch = [] { return false; };
    startPaste("Hi", true, refusingKeys);
    EXPECT_EQ(result, false);
    EXPECT_EQ(clipboard(), (Items{{{platform::plainTextType, "Hi"}}}));
    loop.advance(1.0);
    EXPECT_EQ(clipboard().size(), before.size());

    std::vector<std::string> written;
    PasteOperations refusingWrites;
    refusingWrites.writeText = [&written](platform::Pasteboard&, const std::string& text) {
        written.push_back(text);
        return false;
    };
    startPaste("Hi", true, refusingWrites);
    EXPECT_EQ(result, false);
    EXPECT_EQ(written, std::vector<std::string>{"Hi"});
    EXPECT_TRUE(desktop->postedEvents().empty());
    loop.advance(1.0);
    EXPECT_EQ(clipboard().size(), before.size());
}

TEST_F(FocusedPasteTest, InjectedSleepsSeeThePollAndSettleIntervals) {
    std::vector<double> slept;
    int polls = 0;
    pressed = [&polls] { return ++polls <= 2; };
    PasteOperations recordedSleeps;
    recordedSleeps.sleep = [&slept](double seconds) -> Task<void> {
        slept.push_back(seconds);
        co_return;
    };
    startPaste("Hi", false, recordedSleeps);
    EXPECT_EQ(result, true);
    EXPECT_EQ(slept, (std::vector<double>{0.025, 0.025, 0.03}));
}

class FocusedPasteWithoutLayoutTest : public FocusedPasteTest {
  protected:
    FocusedPasteWithoutLayoutTest()
        : FocusedPasteTest(R"({"apps": [{"pid": 200, "focusedElement": "body", "elements": [
              {"id": "body", "role": "AXTextArea", "value": ""}]}],
              "keyboard": {"noLayoutData": true}})") {}
};

TEST_F(FocusedPasteWithoutLayoutTest, FallsBackToTheAnsiVKeyAndRestoresAnEmptyClipboard) {
    startPaste("Hi", true);
    EXPECT_EQ(result, true);
    auto posted = desktop->postedEvents();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].keyCode, 9);
    EXPECT_EQ(body(), "Hi");
    loop.advance(1.0);
    EXPECT_TRUE(clipboard().empty());
}

}  // namespace
}  // namespace lumora
