// The hold timing and the key-name tables, which the release poll of a recording shares.
#include "assistant/hold/hold_keys.h"

#include <gtest/gtest.h>

#include "assistant/hold/hold_trigger.h"

namespace lumora {
namespace {

namespace flags = platform::eventFlags;
using Release = HoldTrigger::Release;

TEST(HoldTriggerTest, BecomesActiveOnceTheKeyHasBeenDownLongEnough) {
    HoldTrigger trigger;
    EXPECT_EQ(trigger.release(), Release::none);
    trigger.press(10.0);
    trigger.press(10.2);  // a repeat keeps the first press
    EXPECT_FALSE(trigger.activate(10.349999));
    EXPECT_TRUE(trigger.activate(10.35));
    EXPECT_FALSE(trigger.activate(11.0));
    EXPECT_TRUE(trigger.interrupt());
    trigger.press(20.0);
    EXPECT_FALSE(trigger.activate(20.3));
    EXPECT_EQ(trigger.release(), Release::tap);
    trigger.press(30.0);
    ASSERT_TRUE(trigger.activate(30.5));
    EXPECT_EQ(trigger.release(), Release::stop);
    EXPECT_EQ(trigger, HoldTrigger{});
}

TEST(KeyNamesTest, NamesModifiersAndSides) {
    EXPECT_EQ(keyCode("KeyA"), 0);
    EXPECT_EQ(keyCode("Digit6"), 22);
    EXPECT_EQ(keyCode("ArrowUp"), 126);
    EXPECT_EQ(keyCode("keya"), std::nullopt);
    EXPECT_EQ(holdKeyCode("Hold:RightOption"), 61);
    EXPECT_EQ(holdKeyCode("Hold:fn"), std::nullopt);
    EXPECT_EQ(holdKeyCode("Escape"), std::nullopt);

    EXPECT_EQ(requiredFlags("META-Alt"), flags::command | flags::option);
    EXPECT_EQ(requiredFlags("control+shift+super"), flags::control | flags::shift | flags::command);
    EXPECT_EQ(requiredFlags("ctrl"), 0u);

    EXPECT_TRUE(modifierDown(63, flags::function));
    EXPECT_TRUE(modifierDown(58, flags::option));
    EXPECT_FALSE(modifierDown(58, flags::option | flags::rightOptionDevice));
    EXPECT_TRUE(modifierDown(61, flags::option | flags::rightOptionDevice));
    EXPECT_FALSE(modifierDown(61, flags::leftOptionDevice));
}

}  // namespace
}  // namespace lumora
