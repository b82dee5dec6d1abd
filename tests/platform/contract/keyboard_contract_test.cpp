// The keyboard port as the hold monitor, the paste and the release poll use it, on both
// desktops: the user's keys reach an event tap as macOS key codes and flags and show in the
// session state, a tap swallows a key it claimed while other keys reach the editor, events the
// helper posts come back to the tap marked (or, on the simulated desktop, not at all), and a
// posted Command-V pastes into the editor. The user's hands are the simulated desktop's
// hardware input there, and XTest input from another client (xdotool) on the real desktop.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "platform/sim/keyboard_layout.h"
#include "platform/sim/sim_desktop.h"
#include "tests/platform/contract/desktop_world.h"
#include "tests/support/test_desktop.h"

namespace lumora::contract {
namespace {

using platform::InputEvent;
using Type = platform::InputEventType;
using test_support::TestDesktop;
namespace flags = platform::eventFlags;

// The hold monitor's marker, as any caller's user data.
constexpr std::int64_t marker = 0x4C554D4F4B455953;
constexpr platform::EventFlags optionFlags =
    flags::option | flags::leftOptionDevice | flags::rightOptionDevice;
constexpr auto patience = std::chrono::seconds(10);

constexpr std::uint64_t bit(Type type) {
    return std::uint64_t{1} << static_cast<std::uint32_t>(type);
}
constexpr std::uint64_t keyEvents = bit(Type::keyDown) | bit(Type::keyUp) | bit(Type::flagsChanged);

// A key as the user presses it: its name for xdotool, its key code, and how the simulated
// hardware reports it (a modifier as a flags change, with the flags it sets).
struct UserKey {
    std::string name;
    std::uint16_t code;
    platform::EventFlags sets = 0;
};
const UserKey keyA{"a", 0};
const UserKey keyB{"b", 11};
const UserKey escape{"Escape", 53};
// By its X key code (RALT on the test server's keymap): named Alt_R, xdotool would press the
// Alt modifier it maps to first, which is Alt_L.
const UserKey rightOption{"108", 61, flags::option | flags::rightOptionDevice};

InputEvent keyEvent(std::uint16_t code, bool down, std::int64_t userData = 0) {
    InputEvent event;
    event.type = down ? Type::keyDown : Type::keyUp;
    event.keyCode = code;
    event.userData = userData;
    return event;
}

// The text of the editor's focused field, as the accessibility port reads it.
std::string fieldText(DesktopWorld& world, const Editor& editor) {
    platform::Accessibility& ax = world.accessibility();
    auto focused = ax.copyAttribute(ax.applicationElement(editor.pid), "AXFocusedUIElement");
    auto* field = focused ? std::get_if<platform::AXElement>(&*focused) : nullptr;
    auto value = field ? ax.copyAttribute(*field, "AXValue") : std::nullopt;
    auto* text = value ? std::get_if<std::string>(&*value) : nullptr;
    return text ? *text : "";
}

template <class World>
class KeyboardContract : public ::testing::Test {
  protected:
    // A test that failed half-way leaves no key down for the next one.
    void TearDown() override {
        while (!down_.empty()) release(down_.back());
    }

    std::unique_ptr<DesktopWorld> world = makeWorld<World>();
    platform::Keyboard& keyboard() { return world->keyboard(); }
    sim::SimDesktop* simulated() { return world->simulated(); }

    void press(const UserKey& key) { use(key, true); }
    void release(const UserKey& key) { use(key, false); }

    // Runs the main thread's work until `done` holds; false once the patience runs out.
    template <class Done>
    bool eventually(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        for (world->runMainThreadWork(); !done(); world->runMainThreadWork()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // What the editor typed of the user's keys: its text on the real desktop; on the
    // simulated one, whose editor types nothing itself, the letters of the key-downs that
    // reached it.
    std::string typed(const Editor& editor) { return simulated() ? letters_ : fieldText(editor); }
    std::string fieldText(const Editor& editor) { return contract::fieldText(*world, editor); }

  private:
    void use(const UserKey& key, bool down) {
        if (down) {
            down_.push_back(key);
        } else {
            std::erase_if(down_, [&](const UserKey& held) { return held.code == key.code; });
        }
        sim::SimDesktop* desktop = simulated();
        if (!desktop) {
            down ? TestDesktop::shared().keyDown(key.name) : TestDesktop::shared().keyUp(key.name);
            return;
        }
        if (key.sets != 0) {
            held_ = down ? held_ | key.sets : held_ & ~key.sets;
            desktop->deliverInput({Type::flagsChanged, key.code, held_, false, 0, {}});
            return;
        }
        InputEvent event = keyEvent(key.code, down);
        event.flags = held_;
        std::optional<InputEvent> received = desktop->deliverInput(event);
        if (!received || received->type != Type::keyDown) return;
        auto letter = sim::ansiUsLayout().find(received->keyCode);
        if (letter != sim::ansiUsLayout().end()) letters_ += letter->second;
    }

    std::vector<UserKey> down_;
    platform::EventFlags held_ = 0;
    std::string letters_;
};

TYPED_TEST_SUITE(KeyboardContract, Worlds);

TYPED_TEST(KeyboardContract, TheUsersKeysReachTheTapAsMacKeysAndShowInTheSessionState) {
    this->world->openEditors({""});
    platform::Keyboard& keyboard = this->keyboard();
    std::vector<InputEvent> seen;
    auto tap = keyboard.createEventTap(keyEvents, [&](const InputEvent& event) {
        seen.push_back(event);
        return event;
    });
    ASSERT_TRUE(tap);
    std::vector<std::uint16_t> keyDowns;
    auto monitor =
        keyboard.addGlobalKeyDownMonitor([&](std::uint16_t code) { keyDowns.push_back(code); });

    this->press(rightOption);
    ASSERT_TRUE(this->eventually([&] { return seen.size() == 1; }));
    EXPECT_EQ(seen[0].type, Type::flagsChanged);
    EXPECT_EQ(seen[0].keyCode, rightOption.code);
    EXPECT_EQ(seen[0].flags & optionFlags, rightOption.sets);
    EXPECT_EQ(keyboard.sessionFlags() & optionFlags, rightOption.sets);

    this->press(keyA);
    ASSERT_TRUE(this->eventually([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen[1].type, Type::keyDown);
    EXPECT_EQ(seen[1].keyCode, keyA.code);
    EXPECT_EQ(seen[1].flags & optionFlags, rightOption.sets);
    EXPECT_TRUE(keyboard.isKeyDown(keyA.code));

    this->release(keyA);
    this->release(rightOption);
    ASSERT_TRUE(this->eventually([&] { return seen.size() == 4; }));
    EXPECT_EQ(seen[2].type, Type::keyUp);
    EXPECT_EQ(seen[2].keyCode, keyA.code);
    EXPECT_EQ(seen[3].type, Type::flagsChanged);
    EXPECT_EQ(seen[3].keyCode, rightOption.code);
    EXPECT_EQ(seen[3].flags & optionFlags, 0u);
    EXPECT_FALSE(keyboard.isKeyDown(keyA.code));
    EXPECT_EQ(keyboard.sessionFlags() & optionFlags, 0u);

    this->press(escape);
    this->release(escape);
    ASSERT_TRUE(this->eventually([&] { return seen.size() == 6; }));
    EXPECT_EQ(keyDowns, (std::vector<std::uint16_t>{keyA.code, escape.code}));
    for (const UserKey& key : {keyA, escape, rightOption}) {
        EXPECT_TRUE(keyboard.canReport(key.code)) << key.name;
    }
}

TYPED_TEST(KeyboardContract, ASwallowedKeyNeverReachesTheEditorWhileOthersDo) {
    Editor editor = this->world->openEditors({""}).back();
    bool repeated = false;
    auto tap = this->keyboard().createEventTap(keyEvents, [&](const InputEvent& event) {
        repeated = repeated || event.autorepeat;
        return event.keyCode == keyA.code ? std::nullopt : std::optional(event);
    });
    ASSERT_TRUE(tap);
    ASSERT_TRUE(tap->withhold({keyA.code}));

    this->press(keyA);
    // The real server repeats a key held this long, and every repeat is withheld too; the
    // simulated hardware does not repeat.
    if (!this->simulated()) {
        ASSERT_TRUE(this->eventually([&] { return repeated; }));
    }
    this->release(keyA);
    this->press(keyB);
    this->release(keyB);
    ASSERT_TRUE(this->eventually([&] { return this->typed(editor) == "b"; }))
        << this->typed(editor);
}

TYPED_TEST(KeyboardContract, PostedEventsComeBackMarkedAndCommandVPastes) {
    Editor editor = this->world->openEditors({""}).back();
    platform::Keyboard& keyboard = this->keyboard();
    std::vector<InputEvent> marked, unmarked;
    // Swallows every Escape but its own: a posted one that came back unmarked would be lost.
    auto tap = keyboard.createEventTap(keyEvents, [&](const InputEvent& event) {
        (event.userData == marker ? marked : unmarked).push_back(event);
        if (event.keyCode == escape.code && event.userData != marker)
            return std::optional<InputEvent>();
        return std::optional(event);
    });
    ASSERT_TRUE(tap);
    ASSERT_TRUE(tap->withhold({escape.code}));

    for (bool down : {true, false}) {
        std::optional<InputEvent> event = keyboard.createKeyEvent(escape.code, down);
        ASSERT_TRUE(event);
        event->userData = marker;
        keyboard.post(*event);
    }

    ASSERT_TRUE(keyboard.hasLayoutData());
    EXPECT_EQ(keyboard.translate(9), u"v");
    EXPECT_EQ(keyboard.translate(rightOption.code), u"");
    const std::string clipboard = "Pasted words";
    if (sim::SimDesktop* desktop = this->simulated()) {
        ASSERT_TRUE(desktop->anotherApplicationsPasteboard().setString(clipboard));
    } else {
        TestDesktop::shared().copyToClipboard("UTF8_STRING", clipboard);
    }
    for (bool down : {true, false}) {
        std::optional<InputEvent> event = keyboard.createKeyEvent(9, down);
        ASSERT_TRUE(event);
        event->flags = flags::command;
        event->userData = marker;
        keyboard.post(*event);
    }
    ASSERT_TRUE(this->eventually([&] { return this->fieldText(editor) == clipboard; }))
        << this->fieldText(editor);
    // Escape down and up; Control, V and Control for each of V's down and up.
    const std::size_t returned = this->simulated() ? 0 : 8;
    ASSERT_TRUE(this->eventually([&] { return marked.size() == returned; })) << marked.size();
    EXPECT_TRUE(unmarked.empty()) << unmarked.size();
}

// What only the real desktop's keyboard lacks: the Fn key, never reported by X keyboards, and a
// key code for no key at all, which is refused rather than typed.
TEST(X11KeyboardTest, KeysTheKeyboardDoesNotHaveAreRefused) {
    std::unique_ptr<DesktopWorld> world = makeWorld<X11World>();
    platform::Keyboard& keyboard = world->keyboard();
    for (std::uint16_t absent : {std::uint16_t{63}, std::uint16_t{52}, std::uint16_t{0xFFFF}}) {
        EXPECT_FALSE(keyboard.canReport(absent)) << absent;
        EXPECT_EQ(keyboard.createKeyEvent(absent, true), std::nullopt) << absent;
        EXPECT_EQ(keyboard.translate(absent), std::nullopt) << absent;
        EXPECT_FALSE(keyboard.isKeyDown(absent)) << absent;
    }
}

// A main thread too slow to judge a claimed press within half a second: the server hands the
// press on by itself, and the tap hears only that it was disabled, so it cannot keep the press
// to post again later, which would type it twice.
TEST(X11KeyboardTest, APressJudgedTooLateIsNotTheTapsToKeep) {
    std::unique_ptr<DesktopWorld> world = makeWorld<X11World>();
    world->openEditors({""});
    std::vector<Type> seen;
    auto tap = world->keyboard().createEventTap(keyEvents, [&](const InputEvent& event) {
        seen.push_back(event.type);
        return std::optional<InputEvent>();
    });
    ASSERT_TRUE(tap && tap->withhold({escape.code}));
    TestDesktop::shared().holdKey(escape.name, 0.05);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(eventually([&] {
        world->runMainThreadWork();
        return std::find(seen.begin(), seen.end(), Type::tapDisabledByTimeout) != seen.end();
    }));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), Type::keyDown), 0);
}

// On a Dvorak layout "v" is typed by the key QWERTY has "." on: translation follows the server's
// current keymap, and a posted Command and that key pastes, as the paste looks the key up.
TEST(X11KeyboardTest, TranslationAndThePasteFollowTheLayout) {
    std::unique_ptr<DesktopWorld> world = makeWorld<X11World>();
    Editor editor = world->openEditors({""}).back();
    platform::Keyboard& keyboard = world->keyboard();
    constexpr std::uint16_t period = 47;
    auto setLayout = [](const std::string& variant) {
        ASSERT_EQ(std::system(("setxkbmap -layout us -variant '" + variant + "'").c_str()), 0);
    };
    setLayout("dvorak");
    struct Restore {
        std::function<void()> undo;
        ~Restore() { undo(); }
    } restore{[&] { setLayout(""); }};
    ASSERT_TRUE(eventually([&] { return keyboard.translate(period) == u"v"; }));
    EXPECT_EQ(keyboard.translate(9), u"k");

    const std::string clipboard = "Pasted on Dvorak";
    TestDesktop::shared().copyToClipboard("UTF8_STRING", clipboard);
    for (bool down : {true, false}) {
        std::optional<InputEvent> event = keyboard.createKeyEvent(period, down);
        ASSERT_TRUE(event);
        event->flags = flags::command;
        keyboard.post(*event);
    }
    EXPECT_TRUE(eventually([&] { return fieldText(*world, editor) == clipboard; }))
        << fieldText(*world, editor);
}

}  // namespace
}  // namespace lumora::contract
