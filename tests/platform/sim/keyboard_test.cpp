#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/sim/sim_fixture.h"

namespace lumora::sim {
namespace {

using platform::InputEvent;
using platform::InputEventType;
namespace flags = platform::eventFlags;

constexpr std::uint16_t ansiV = 9;
constexpr std::uint16_t ansiPeriod = 47;

std::string scenarioWith(const std::string& keyboard) {
    return R"({
      "frontmost": 200,
      "apps": [
        {
          "pid": 200, "name": "Notes", "focusedElement": "body",
          "elements": [
            {"id": "body", "role": "AXTextArea", "value": "Hello 👋", "rejectWrites": -25201},
            {"id": "label", "role": "AXStaticText", "value": "Title"}
          ]
        },
        {
          "pid": 300, "name": "Mail", "focusedElement": "subject",
          "elements": [{"id": "subject", "role": "AXTextField", "value": "Re: "}]
        }
      ],
      "pasteboard": {"items": [[{"type": "public.utf8-plain-text", "data": " world"}]]},
      "keyboard": )" +
           keyboard + "}";
}

InputEvent key(InputEventType type, std::uint16_t code, platform::EventFlags eventFlags = 0) {
    InputEvent event;
    event.type = type;
    event.keyCode = code;
    event.flags = eventFlags;
    return event;
}

InputEvent commandDown(std::uint16_t code) {
    return key(InputEventType::keyDown, code, flags::command);
}

struct LayoutCase {
    const char* name;
    std::string keyboard;
    std::uint16_t code;
    bool pastes;
};

TEST(KeyboardPaste, CommandVPastesWhereverTheLayoutPutsV) {
    const std::string dvorak = R"({"layout": {"47": "v", "9": "k", "0": "a"}})";
    const std::vector<LayoutCase> cases = {
        {"us", "{}", ansiV, true},
        {"usPeriod", "{}", ansiPeriod, false},
        {"dvorak", dvorak, ansiPeriod, true},
        {"dvorakAnsiV", dvorak, ansiV, false},
        {"noLayoutData", R"({"noLayoutData": true})", ansiV, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto desktop = desktopFrom(scenarioWith(c.keyboard));
        desktop->keyboard().post(commandDown(c.code));
        desktop->keyboard().post(key(InputEventType::keyUp, c.code, flags::command));
        EXPECT_EQ(desktop->field("body")->value, c.pastes ? "Hello 👋 world" : "Hello 👋");
    }
}

struct ChordCase {
    const char* name;
    InputEvent event;
};

TEST(KeyboardPaste, OnlyTheCommandVKeyDownPastes) {
    const std::vector<ChordCase> cases = {
        {"plainV", key(InputEventType::keyDown, ansiV)},
        {"commandShiftV", key(InputEventType::keyDown, ansiV, flags::command | flags::shift)},
        {"commandOptionV", key(InputEventType::keyDown, ansiV, flags::command | flags::option)},
        {"commandVUp", key(InputEventType::keyUp, ansiV, flags::command)},
        {"commandFlagsChanged", key(InputEventType::flagsChanged, ansiV, flags::command)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto desktop = desktopFrom(scenarioWith("{}"));
        desktop->keyboard().post(c.event);
        EXPECT_EQ(desktop->field("body")->value, "Hello 👋");
        EXPECT_EQ(desktop->postedEvents(), std::vector<InputEvent>{c.event});
    }
}

TEST(KeyboardPaste, PastesIntoTheFrontmostApplicationsFocusedFieldDespiteAccessibilityQuirks) {
    auto desktop = desktopFrom(scenarioWith("{}"));
    desktop->keyboard().post(commandDown(ansiV));
    EXPECT_EQ(desktop->field("body"), (FieldState{"Hello 👋 world", {14, 0}}));

    desktop->setFrontmost(300);
    desktop->keyboard().post(commandDown(ansiV));
    EXPECT_EQ(desktop->field("subject"), (FieldState{"Re:  world", {10, 0}}));
    EXPECT_EQ(desktop->field("body")->value, "Hello 👋 world");
}

TEST(KeyboardPaste, NothingHappensWithoutAnEditableFocusedFieldOrText) {
    auto desktop = desktopFrom(scenarioWith("{}"));
    ASSERT_TRUE(desktop->setFocusedElement(200, "label"));
    desktop->keyboard().post(commandDown(ansiV));
    EXPECT_EQ(desktop->field("label")->value, "Title");

    ASSERT_TRUE(desktop->setFocusedElement(200, "body"));
    desktop->pasteboard().clearContents();
    desktop->keyboard().post(commandDown(ansiV));
    EXPECT_EQ(desktop->field("body")->value, "Hello 👋");
}

TEST(KeyboardPaste, SyntheticEventsOfAnUntrustedProcessReachNoApplication) {
    auto desktop = desktopFrom(scenarioWith("{}"));
    desktop->setAccessibilityTrusted(false);
    desktop->keyboard().post(commandDown(ansiV));
    EXPECT_EQ(desktop->field("body")->value, "Hello 👋");
    EXPECT_EQ(desktop->postedEvents().size(), 1u);
}

TEST(KeyboardPaste, TheUsersOwnCommandVPastesToo) {
    auto desktop = desktopFrom(scenarioWith("{}"));
    EXPECT_EQ(desktop->deliverInput(commandDown(ansiV)), commandDown(ansiV));
    EXPECT_EQ(desktop->field("body")->value, "Hello 👋 world");
    EXPECT_TRUE(desktop->postedEvents().empty());
}

TEST(KeyboardLayout, TranslatesKeysOfTheCurrentLayout) {
    auto us = desktopFrom(scenarioWith("{}"));
    EXPECT_TRUE(us->keyboard().hasLayoutData());
    EXPECT_EQ(us->keyboard().translate(ansiV), u"v");
    EXPECT_EQ(us->keyboard().translate(0), u"a");
    EXPECT_EQ(us->keyboard().translate(49), u" ");
    EXPECT_EQ(us->keyboard().translate(56), u"");  // Shift types nothing

    auto french = desktopFrom(scenarioWith(R"({"layout": {"19": "é", "0": "q"}})"));
    EXPECT_EQ(french->keyboard().translate(19), u"é");
    EXPECT_EQ(french->keyboard().translate(0), u"q");
    EXPECT_EQ(french->keyboard().translate(ansiV), u"");

    auto none = desktopFrom(scenarioWith(R"({"noLayoutData": true})"));
    EXPECT_FALSE(none->keyboard().hasLayoutData());
    EXPECT_EQ(none->keyboard().translate(ansiV), std::nullopt);
}

TEST(KeyboardEvents, CreatedEventsCarryTheKeyAndCanBeRefused) {
    auto desktop = desktopFrom(scenarioWith("{}"));
    EXPECT_EQ(desktop->keyboard().createKeyEvent(ansiV, true), key(InputEventType::keyDown, ansiV));
    EXPECT_EQ(desktop->keyboard().createKeyEvent(ansiV, false), key(InputEventType::keyUp, ansiV));
    auto failing = desktopFrom(scenarioWith(R"({"keyEventsFail": true})"));
    EXPECT_EQ(failing->keyboard().createKeyEvent(ansiV, true), std::nullopt);
}

TEST(KeyboardState, FollowsTheUsersInput) {
    auto desktop = desktopFrom(scenarioWith(R"({"sessionFlags": 131072, "pressedKeys": [56]})"));
    auto& keyboard = desktop->keyboard();
    EXPECT_EQ(keyboard.sessionFlags(), flags::shift);
    EXPECT_TRUE(keyboard.isKeyDown(56));
    desktop->deliverInput(key(InputEventType::keyDown, 0));
    EXPECT_TRUE(keyboard.isKeyDown(0));
    desktop->deliverInput(key(InputEventType::keyUp, 0));
    EXPECT_FALSE(keyboard.isKeyDown(0));
    desktop->deliverInput(
        key(InputEventType::flagsChanged, 58, flags::option | flags::leftOptionDevice));
    EXPECT_EQ(keyboard.sessionFlags(), flags::option | flags::leftOptionDevice);
}

constexpr std::uint64_t keyMask = (1u << 10) | (1u << 11);

TEST(KeyboardTaps, SeeMaskedInputNewestFirstAndMaySwallowIt) {
    auto desktop = desktopFrom(scenarioWith("{}"));
    std::vector<std::string> seen;
    auto older = desktop->keyboard().createEventTap(keyMask, [&](const InputEvent& event) {
        seen.push_back("older " + std::to_string(event.keyCode));
        return std::optional<InputEvent>(event);
    });
    auto newer = desktop->keyboard().createEventTap(keyMask, [&](const InputEvent& event) {
        seen.push_back("newer " + std::to_string(event.keyCode));
        InputEvent changed = event;
        changed.keyCode = 1;
        return event.keyCode == 53 ? std::nullopt : std::optional<InputEvent>(changed);
    });
    ASSERT_NE(older, nullptr);
    ASSERT_NE(newer, nullptr);

    EXPECT_EQ(desktop->deliverInput(key(InputEventType::keyDown, 0)),
              key(InputEventType::keyDown, 1));
    EXPECT_EQ(desktop->deliverInput(key(InputEventType::keyDown, 53)), std::nullopt);
    EXPECT_EQ(desktop->deliverInput(key(InputEventType::flagsChanged, 58)),
              key(InputEventType::flagsChanged, 58));
    EXPECT_EQ(seen, (std::vector<std::string>{"newer 0", "older 1", "newer 53"}));

    seen.clear();
    newer->setEnabled(false);
    desktop->deliverInput(key(InputEventType::keyUp, 2));
    older.reset();
    desktop->deliverInput(key(InputEventType::keyUp, 3));
    EXPECT_EQ(seen, (std::vector<std::string>{"older 2"}));
}

TEST(KeyboardTaps, AreDisabledByTheSystemAndToldSo) {
    auto desktop = desktopFrom(scenarioWith("{}"));
    std::vector<InputEventType> seen;
    auto tap = desktop->keyboard().createEventTap(keyMask, [&](const InputEvent& event) {
        seen.push_back(event.type);
        return std::optional<InputEvent>(event);
    });
    EXPECT_EQ(desktop->deliverInput(key(InputEventType::tapDisabledByTimeout, 0)), std::nullopt);
    desktop->deliverInput(key(InputEventType::keyDown, 0));
    tap->setEnabled(true);
    desktop->deliverInput(key(InputEventType::keyDown, 0));
    EXPECT_EQ(seen, (std::vector<InputEventType>{InputEventType::tapDisabledByTimeout,
                                                 InputEventType::keyDown}));
}

TEST(KeyboardTaps, AreRefusedWithoutPermission) {
    auto refused = desktopFrom(scenarioWith(R"({"eventTapsRefused": true})"));
    EXPECT_EQ(
        refused->keyboard().createEventTap(
            keyMask, [](const InputEvent& event) { return std::optional<InputEvent>(event); }),
        nullptr);
    auto untrusted = desktopFrom(scenarioWith("{}"));
    untrusted->setAccessibilityTrusted(false);
    EXPECT_EQ(
        untrusted->keyboard().createEventTap(
            keyMask, [](const InputEvent& event) { return std::optional<InputEvent>(event); }),
        nullptr);
}

TEST(KeyboardMonitors, HearKeyDownsThatReachApplicationsWhileTheirTokenLives) {
    auto desktop = desktopFrom(scenarioWith("{}"));
    std::vector<std::uint16_t> heard;
    auto token = desktop->keyboard().addGlobalKeyDownMonitor(
        [&](std::uint16_t code) { heard.push_back(code); });
    auto tap = desktop->keyboard().createEventTap(keyMask, [](const InputEvent& event) {
        return event.keyCode == 53 ? std::nullopt : std::optional<InputEvent>(event);
    });
    desktop->deliverInput(key(InputEventType::keyDown, 4));
    desktop->deliverInput(key(InputEventType::keyUp, 4));
    desktop->deliverInput(key(InputEventType::keyDown, 53));
    desktop->keyboard().post(key(InputEventType::keyDown, 5));
    token.reset();
    desktop->deliverInput(key(InputEventType::keyDown, 6));
    EXPECT_EQ(heard, (std::vector<std::uint16_t>{4}));
}

}  // namespace
}  // namespace lumora::sim
