// The hold timing and the key-name tables, which the release poll of a recording shares.
#include "assistant/hold/hold_keys.h"

#include <gtest/gtest.h>

#include "assistant/hold/hold_trigger.h"

namespace lumora {
namespace {

namespace flags = platform::eventFlags;
using Release = HoldTrigger::Release;

TEST(HoldTriggerTest, BecomesActiveOnlyOnceTheKeyHasBeenDownLongEnough) {
    HoldTrigger trigger;
    EXPECT_EQ(trigger.release(), Release::none);
    EXPECT_FALSE(trigger.activate(10.0));

    trigger.press(10.0);
    trigger.press(10.2);  // a repeat while down keeps the first press
    EXPECT_FALSE(trigger.activate(10.349999));
    EXPECT_TRUE(trigger.activate(10.35));
    EXPECT_FALSE(trigger.activate(11.0));
    EXPECT_EQ(trigger.release(), Release::stop);

    trigger.press(20.0);
    EXPECT_FALSE(trigger.activate(20.3));
    EXPECT_EQ(trigger.release(), Release::tap);
    EXPECT_EQ(trigger, HoldTrigger{});

    trigger.press(30.0);
    EXPECT_FALSE(trigger.interrupt());
    trigger.press(40.0);
    ASSERT_TRUE(trigger.activate(40.5));
    EXPECT_TRUE(trigger.interrupt());
    EXPECT_EQ(trigger.release(), Release::none);
}

TEST(KeyNamesTest, MapNamesToCodesExactly) {
    struct Case {
        std::string_view name;
        std::optional<std::uint16_t> key;
        std::optional<std::uint16_t> holdKey;
    };
    const std::vector<Case> cases = {
        {"KeyA", 0, std::nullopt},
        {"keya", std::nullopt, std::nullopt},
        {"Digit6", 22, std::nullopt},
        {"F3", 99, std::nullopt},
        {"ArrowUp", 126, std::nullopt},
        {"Escape", 53, std::nullopt},
        {"Hold:Fn", std::nullopt, 63},
        {"Hold:LeftOption", std::nullopt, 58},
        {"Hold:RightOption", std::nullopt, 61},
        {"Hold:Escape", std::nullopt, 53},
        {"Hold:fn", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(keyCode(c.name), c.key) << c.name;
        EXPECT_EQ(holdKeyCode(c.name), c.holdKey) << c.name;
    }
}

TEST(KeyNamesTest, ModifierTextsAndModifierState) {
    EXPECT_EQ(requiredFlags("Super+Shift"), flags::command | flags::shift);
    EXPECT_EQ(requiredFlags("META-ALT"), flags::command | flags::option);
    EXPECT_EQ(requiredFlags("ctrl"), 0u);
    EXPECT_EQ(requiredFlags("control shift alt super"),
              flags::control | flags::shift | flags::option | flags::command);

    struct Case {
        std::uint16_t key;
        platform::EventFlags flags;
        bool down;
    };
    const std::vector<Case> cases = {
        {63, flags::function, true},
        {63, flags::option, false},
        {58, flags::option, true},
        {58, flags::option | flags::leftOptionDevice, true},
        {58, flags::option | flags::rightOptionDevice, false},
        {61, flags::option | flags::rightOptionDevice, true},
        {61, flags::leftOptionDevice, false},
        {53, flags::function | flags::option, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(modifierDown(c.key, c.flags), c.down) << c.key << " " << c.flags;
    }
}

}  // namespace
}  // namespace lumora
