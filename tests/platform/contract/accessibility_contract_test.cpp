// The accessibility port as the assistant uses it, on both desktops: the focused field of the
// frontmost editor, its text and selection in UTF-16 units, writes that replace the selection,
// its window and caret bounds, and an application that quits.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

#include "runtime/text.h"
#include "tests/platform/contract/desktop_world.h"

namespace lumora::contract {
namespace {

using platform::AXElement;
using platform::TextRange;

template <class World>
class AccessibilityContract : public ::testing::Test {
  protected:
    std::unique_ptr<DesktopWorld> world = makeWorld<World>();
    platform::Accessibility& ax() { return world->accessibility(); }

    AXElement element(const AXElement& of, std::string_view name) {
        auto value = ax().copyAttribute(of, name);
        auto* found = value ? std::get_if<AXElement>(&*value) : nullptr;
        return found ? *found : nullptr;
    }
    std::optional<std::string> string(const AXElement& of, std::string_view name) {
        auto value = ax().copyAttribute(of, name);
        auto* found = value ? std::get_if<std::string>(&*value) : nullptr;
        return found ? std::optional(*found) : std::nullopt;
    }
    std::optional<TextRange> range(const AXElement& of) {
        auto value = ax().copyAttribute(of, "AXSelectedTextRange");
        auto* found = value ? std::get_if<TextRange>(&*value) : nullptr;
        return found ? std::optional(*found) : std::nullopt;
    }
    AXElement focusedField(const Editor& editor) {
        return element(ax().applicationElement(editor.pid), "AXFocusedUIElement");
    }
};

TYPED_TEST_SUITE(AccessibilityContract, Worlds);

TYPED_TEST(AccessibilityContract, FindsTheFrontmostEditorsFieldItsTextAndItsWindow) {
    const std::string text = "Dear Ada,\nthe notes.";
    Editor editor = this->world->openEditors({"An older note.", text}).back();
    auto& ax = this->ax();

    AXElement field = this->focusedField(editor);
    ASSERT_TRUE(field);
    EXPECT_TRUE(ax.equal(field, this->element(ax.systemWideElement(), "AXFocusedUIElement")));
    EXPECT_EQ(ax.pid(field), editor.pid);
    EXPECT_EQ(this->string(field, "AXRole"), "AXTextArea");
    EXPECT_EQ(this->string(field, "AXSubrole"), std::nullopt);
    EXPECT_EQ(this->string(field, "AXValue"), text);
    EXPECT_EQ(this->range(field), (TextRange{0, 0}));
    EXPECT_EQ(this->string(field, "AXSelectedText"), "");
    EXPECT_EQ(ax.isAttributeSettable(field, "AXSelectedText"), true);

    AXElement window = this->element(ax.applicationElement(editor.pid), "AXFocusedWindow");
    EXPECT_EQ(this->string(window, "AXTitle"), editor.title);
    AXElement ancestor = field;
    for (int depth = 0; ancestor && this->string(ancestor, "AXRole") != "AXWindow"; ++depth) {
        ASSERT_LT(depth, 64);
        ancestor = this->element(ancestor, "AXParent");
    }
    EXPECT_TRUE(ax.equal(ancestor, window));

    auto caret = ax.copyParameterizedAttribute(field, "AXBoundsForRange", TextRange{0, 0});
    ASSERT_TRUE(caret && std::get_if<platform::Rect>(&*caret));
    EXPECT_GT(std::get<platform::Rect>(*caret).height, 0);
    EXPECT_EQ(ax.copyParameterizedAttribute(field, "AXBoundsForRange", TextRange{0, 999}),
              std::nullopt);
}

TYPED_TEST(AccessibilityContract, WritesReplaceTheSelectionInUtf16UnitsAcrossEmojiAndMarks) {
    const std::string text = "Dear Ada, caf\u00e9 \U0001F600 e\u0301nd";
    Editor editor = this->world->openEditors({text}).back();
    auto& ax = this->ax();
    AXElement field = this->focusedField(editor);
    ASSERT_TRUE(field);

    // After the emoji and the combining mark, so each offset has to be converted exactly.
    const long afterEmoji = static_cast<long>(text::utf16Length("Dear Ada, caf\u00e9 \U0001F600 "));
    ASSERT_EQ(ax.setAttribute(field, "AXSelectedTextRange", TextRange{afterEmoji, 2}),
              platform::axSuccess);
    EXPECT_EQ(this->string(field, "AXSelectedText"), "e\u0301");
    const std::string typed = "\U0001F469\u200D\U0001F4BB a\u0300";
    ASSERT_EQ(ax.setAttribute(field, "AXSelectedText", typed), platform::axSuccess);
    const std::string written = "Dear Ada, caf\u00e9 \U0001F600 " + typed + "nd";
    EXPECT_EQ(this->string(field, "AXValue"), written);
    const long caret = afterEmoji + static_cast<long>(text::utf16Length(typed));
    EXPECT_EQ(this->range(field), (TextRange{caret, 0}));

    ASSERT_EQ(ax.setAttribute(field, "AXSelectedTextRange", TextRange{5, 3}), platform::axSuccess);
    EXPECT_EQ(this->string(field, "AXSelectedText"), "Ada");
    ASSERT_EQ(ax.setAttribute(field, "AXSelectedText", std::string()), platform::axSuccess);
    EXPECT_EQ(this->range(field), (TextRange{5, 0}));

    ASSERT_EQ(ax.setAttribute(field, "AXValue", std::string("Fresh \U0001F600")),
              platform::axSuccess);
    EXPECT_EQ(this->string(field, "AXValue"), "Fresh \U0001F600");
    EXPECT_EQ(this->range(field), (TextRange{8, 0}));
}

TYPED_TEST(AccessibilityContract, AnEditorThatQuitsLeavesNothingToReadOrWrite) {
    Editor editor = this->world->openEditors({"Soon gone."}).back();
    auto& ax = this->ax();
    AXElement field = this->focusedField(editor);
    ASSERT_TRUE(field);
    this->world->closeEditor(editor);

    EXPECT_EQ(this->string(field, "AXValue"), std::nullopt);
    EXPECT_EQ(this->range(field), std::nullopt);
    EXPECT_EQ(ax.setAttribute(field, "AXSelectedText", std::string("x")),
              platform::axInvalidElement);
    EXPECT_EQ(this->focusedField(editor), nullptr);
}

// A hung application must not hang its caller: each call costs at most the bus timeout and
// reads as unreadable, and the application answers again once it runs.
TEST(RealAccessibility, AHungEditorReadsAsUnreadableUntilItRunsAgain) {
    std::unique_ptr<DesktopWorld> world = makeWorld<X11World>();
    Editor editor = world->openEditors({"Still here."}).back();
    auto& ax = world->accessibility();
    auto focused = ax.copyAttribute(ax.applicationElement(editor.pid), "AXFocusedUIElement");
    ASSERT_TRUE(focused);
    AXElement field = std::get<AXElement>(*focused);

    ASSERT_EQ(::kill(editor.pid, SIGSTOP), 0);
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ax.copyAttribute(field, "AXValue"), std::nullopt);
    EXPECT_EQ(ax.setAttribute(field, "AXSelectedText", std::string("x")),
              platform::axCannotComplete);
    // A hang, not a speed limit: libatspi's own timeout would be 25 seconds a call.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    ASSERT_EQ(::kill(editor.pid, SIGCONT), 0);
    // It is left alone for a moment, then read again.
    EXPECT_TRUE(eventually([&] { return ax.copyAttribute(field, "AXValue").has_value(); }));
    EXPECT_EQ(ax.copyAttribute(field, "AXValue"), platform::AXValue(std::string("Still here.")));
}

}  // namespace
}  // namespace lumora::contract
