#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/sim/sim_fixture.h"

namespace lumora::sim {
namespace {

using platform::AXElement;
using platform::AXValue;
using platform::TextRange;

constexpr std::string_view scenario = R"({
  "frontmost": 200,
  "apps": [
    {
      "pid": 200, "name": "Notes", "focusedWindow": "window", "focusedElement": "body",
      "elements": [
        {"id": "window", "role": "AXWindow", "title": "Draft"},
        {
          "id": "body", "role": "AXTextArea", "parent": "window", "description": "Body",
          "placeholder": "Write here", "value": "Hi 👋 there",
          "selection": {"location": 3, "length": 2},
          "caretBounds": {"x": 10, "y": 20, "width": 1, "height": 16}
        },
        {"id": "label", "role": "AXStaticText", "parent": "window", "value": "Title"},
        {"id": "rejects", "role": "AXTextField", "value": "abc", "rejectWrites": -25205},
        {"id": "selects", "role": "AXTextField", "value": "abc", "selectsInserted": true},
        {"id": "ignores", "role": "AXTextField", "value": "abc", "ignoresWrites": true}
      ]
    },
    {
      "pid": 300, "name": "Browser", "exposesAfterManualAccessibility": true,
      "focusedElement": "search",
      "elements": [{"id": "search", "role": "AXTextField", "value": ""}]
    }
  ]
})";

class AccessibilityTest : public testing::Test {
  protected:
    std::unique_ptr<SimDesktop> desktop = desktopFrom(scenario);
    platform::Accessibility& ax = desktop->accessibility();

    std::optional<AXValue> read(const AXElement& element, std::string_view name) {
        return ax.copyAttribute(element, name);
    }
    std::optional<std::string> readString(const AXElement& element, std::string_view name) {
        auto value = read(element, name);
        if (!value || !std::holds_alternative<std::string>(*value)) return std::nullopt;
        return std::get<std::string>(*value);
    }
    AXElement readElement(const AXElement& element, std::string_view name) {
        auto value = read(element, name);
        if (!value || !std::holds_alternative<AXElement>(*value)) return nullptr;
        return std::get<AXElement>(*value);
    }
    AXElement focused(pid_t pid) {
        return readElement(ax.applicationElement(pid), "AXFocusedUIElement");
    }
    // Focuses the element and returns it, as a user clicking into it would.
    AXElement field(const std::string& id, pid_t pid = 200) {
        EXPECT_TRUE(desktop->setFocusedElement(pid, id));
        return focused(pid);
    }
};

struct SelectionCase {
    std::string value;
    TextRange range;
    std::string selectedText;
};

TEST_F(AccessibilityTest, SelectedTextIsTheRangeInUtf16Units) {
    const std::string family = "👨‍👩‍👧";  // 8 UTF-16 units
    const std::vector<SelectionCase> cases = {
        {"Hi 👋 there", {3, 2}, "👋"},
        {"Hi 👋 there", {0, 2}, "Hi"},
        {"Hi 👋 there", {5, 6}, " there"},
        {"a" + family + "b", {1, 8}, family},
        {"a" + family + "b", {9, 1}, "b"},
        {"café", {3, 1}, "é"},
        {"abc", {3, 0}, ""},
    };
    AXElement body = field("body");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        ASSERT_TRUE(desktop->editField("body", c.value, c.range));
        EXPECT_EQ(readString(body, "AXSelectedText"), c.selectedText);
        EXPECT_EQ(read(body, "AXSelectedTextRange"), AXValue(c.range));
        EXPECT_EQ(readString(body, "AXValue"), c.value);
    }
}

struct InsertCase {
    std::string value;
    TextRange selection;
    std::string inserted;
    FieldState after;
};

TEST_F(AccessibilityTest, WritingSelectedTextReplacesTheSelectionAndLeavesACaretBehindIt) {
    const std::vector<InsertCase> cases = {
        {"Hi 👋 there", {3, 2}, "🎉🎉", {"Hi 🎉🎉 there", {7, 0}}},
        {"abc", {3, 0}, "d", {"abcd", {4, 0}}},
        {"abc", {0, 3}, "", {"", {0, 0}}},
        {"Hi 👋", {5, 0}, "é!", {"Hi 👋é!", {7, 0}}},
        {"one two", {4, 3}, "2\n3", {"one 2\n3", {7, 0}}},
    };
    AXElement body = field("body");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value + " <- " + c.inserted);
        ASSERT_TRUE(desktop->editField("body", c.value, c.selection));
        EXPECT_EQ(ax.setAttribute(body, "AXSelectedText", c.inserted), platform::axSuccess);
        EXPECT_EQ(desktop->field("body"), c.after);
    }
}

struct QuirkCase {
    std::string element;
    platform::AXError result;
    FieldState after;
};

TEST_F(AccessibilityTest, FieldQuirksShapeTheOutcomeOfTextWrites) {
    const std::vector<QuirkCase> cases = {
        {"rejects", platform::axAttributeUnsupported, {"abc", {3, 0}}},
        {"selects", platform::axSuccess, {"abcXY", {3, 2}}},
        {"ignores", platform::axSuccess, {"abc", {3, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.element);
        EXPECT_EQ(ax.setAttribute(field(c.element), "AXSelectedText", std::string("XY")), c.result);
        EXPECT_EQ(desktop->field(c.element), c.after);
    }
}

TEST_F(AccessibilityTest, SelectionWritesAreClampedToTheText) {
    AXElement body = field("selects");
    EXPECT_EQ(ax.setAttribute(body, "AXSelectedTextRange", TextRange{2, 100}), platform::axSuccess);
    EXPECT_EQ(desktop->field("selects"), (FieldState{"abc", {2, 1}}));
    EXPECT_EQ(ax.setAttribute(body, "AXSelectedTextRange", TextRange{10, 0}), platform::axSuccess);
    EXPECT_EQ(desktop->field("selects"), (FieldState{"abc", {3, 0}}));
    EXPECT_EQ(ax.setAttribute(body, "AXSelectedTextRange", TextRange{-1, 0}),
              platform::axIllegalArgument);
    EXPECT_EQ(ax.setAttribute(body, "AXSelectedTextRange", std::string("1")),
              platform::axIllegalArgument);
    EXPECT_EQ(desktop->field("selects"), (FieldState{"abc", {3, 0}}));
}

TEST_F(AccessibilityTest, OnlyTextRolesAcceptTextWrites) {
    AXElement label = field("label");
    AXElement body = field("body");
    EXPECT_EQ(ax.isAttributeSettable(label, "AXSelectedText"), false);
    EXPECT_EQ(ax.setAttribute(label, "AXSelectedText", std::string("x")),
              platform::axAttributeUnsupported);
    EXPECT_EQ(desktop->field("label"), (FieldState{"Title", {5, 0}}));
    EXPECT_EQ(ax.isAttributeSettable(body, "AXSelectedText"), true);
    EXPECT_EQ(ax.isAttributeSettable(body, "AXTitle"), false);
    EXPECT_EQ(ax.setAttribute(body, "AXValue", std::string("New 👋")), platform::axSuccess);
    EXPECT_EQ(desktop->field("body"), (FieldState{"New 👋", {6, 0}}));
    EXPECT_EQ(ax.setAttribute(body, "AXSelectedText", 1.0), platform::axIllegalArgument);
}

TEST_F(AccessibilityTest, ElementsReportTheirAttributesAndAncestry) {
    AXElement body = focused(200);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(readString(body, "AXRole"), "AXTextArea");
    EXPECT_EQ(readString(body, "AXDescription"), "Body");
    EXPECT_EQ(readString(body, "AXPlaceholderValue"), "Write here");
    EXPECT_EQ(read(body, "AXSubrole"), std::nullopt);
    EXPECT_EQ(read(body, "AXTitle"), std::nullopt);

    AXElement window = readElement(body, "AXParent");
    EXPECT_TRUE(ax.equal(window, readElement(ax.applicationElement(200), "AXFocusedWindow")));
    EXPECT_EQ(readString(window, "AXTitle"), "Draft");
    AXElement app = readElement(window, "AXParent");
    EXPECT_TRUE(ax.equal(app, ax.applicationElement(200)));
    EXPECT_EQ(readString(app, "AXRole"), "AXApplication");
    EXPECT_EQ(readString(app, "AXTitle"), "Notes");
    EXPECT_EQ(read(app, "AXParent"), std::nullopt);
    EXPECT_EQ(ax.pid(body), 200);
    EXPECT_EQ(ax.pid(ax.systemWideElement()), std::nullopt);
}

TEST_F(AccessibilityTest, EqualityIsElementIdentity) {
    AXElement body = focused(200);
    EXPECT_TRUE(ax.equal(body, focused(200)));
    EXPECT_FALSE(ax.equal(body, field("label")));
    EXPECT_FALSE(ax.equal(ax.applicationElement(200), ax.applicationElement(300)));
    EXPECT_FALSE(ax.equal(ax.applicationElement(200), nullptr));
}

TEST_F(AccessibilityTest, SystemWideFocusFollowsTheFrontmostApplication) {
    AXElement systemWide = ax.systemWideElement();
    EXPECT_TRUE(ax.equal(readElement(systemWide, "AXFocusedUIElement"), focused(200)));
    EXPECT_TRUE(
        ax.equal(readElement(systemWide, "AXFocusedApplication"), ax.applicationElement(200)));
    desktop->setFrontmost(300);
    // The browser keeps its web content to itself until asked to expose it.
    EXPECT_EQ(readElement(systemWide, "AXFocusedUIElement"), nullptr);
    EXPECT_EQ(ax.isAttributeSettable(ax.applicationElement(300), "AXManualAccessibility"), true);
    EXPECT_EQ(ax.setAttribute(ax.applicationElement(300), "AXManualAccessibility", true),
              platform::axSuccess);
    AXElement search = readElement(systemWide, "AXFocusedUIElement");
    EXPECT_EQ(ax.pid(search), 300);
    EXPECT_EQ(readString(search, "AXRole"), "AXTextField");
}

TEST_F(AccessibilityTest, ManualAccessibilityRequestsAreRecordedEvenWhereUnsupported) {
    EXPECT_EQ(ax.setAttribute(ax.applicationElement(200), "AXManualAccessibility", true),
              platform::axAttributeUnsupported);
    EXPECT_EQ(ax.setAttribute(ax.applicationElement(300), "AXManualAccessibility", true),
              platform::axSuccess);
    EXPECT_EQ(desktop->manualAccessibilityRequests(), (std::vector<pid_t>{200, 300}));
}

TEST_F(AccessibilityTest, BoundsForRangeAnswerOnlyForRangesInsideTheText) {
    AXElement body = focused(200);
    EXPECT_EQ(ax.copyParameterizedAttribute(body, "AXBoundsForRange", TextRange{3, 2}),
              AXValue(platform::Rect{10, 20, 1, 16}));
    EXPECT_EQ(ax.copyParameterizedAttribute(body, "AXBoundsForRange", TextRange{11, 1}),
              std::nullopt);
    EXPECT_EQ(ax.copyParameterizedAttribute(body, "AXBoundsForRange", std::string("3")),
              std::nullopt);
    EXPECT_EQ(ax.copyParameterizedAttribute(field("label"), "AXBoundsForRange", TextRange{0, 0}),
              std::nullopt);
}

TEST_F(AccessibilityTest, AnUntrustedProcessCanNeitherReadNorWrite) {
    AXElement body = focused(200);
    desktop->setAccessibilityTrusted(false);
    EXPECT_EQ(read(body, "AXValue"), std::nullopt);
    EXPECT_EQ(read(ax.systemWideElement(), "AXFocusedUIElement"), std::nullopt);
    EXPECT_EQ(read(ax.applicationElement(200), "AXTitle"), std::nullopt);
    EXPECT_EQ(ax.isAttributeSettable(body, "AXSelectedText"), std::nullopt);
    EXPECT_EQ(ax.setAttribute(body, "AXSelectedText", std::string("x")),
              static_cast<platform::AXError>(-25211));
    EXPECT_EQ(desktop->field("body"), (FieldState{"Hi 👋 there", {3, 2}}));
    EXPECT_EQ(ax.pid(body), 200);
}

TEST_F(AccessibilityTest, ElementsOfAQuitApplicationAreInvalid) {
    AXElement body = focused(200);
    desktop->terminate(200);
    EXPECT_EQ(read(body, "AXValue"), std::nullopt);
    EXPECT_EQ(ax.isAttributeSettable(body, "AXSelectedText"), std::nullopt);
    EXPECT_EQ(ax.setAttribute(body, "AXSelectedText", std::string("x")),
              platform::axInvalidElement);
    EXPECT_EQ(read(ax.applicationElement(200), "AXFocusedUIElement"), std::nullopt);
}

}  // namespace
}  // namespace lumora::sim
