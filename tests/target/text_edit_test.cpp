// The edit model: when a field may be written, what is left to type, and when undo is safe.
#include "assistant/target/text_edit.h"

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

namespace lumora {
namespace {

TEST(TargetSnapshotTest, InRangeNeedsTheSelectionInsideTheValueInUtf16Units) {
    struct Case {
        TargetSnapshot snapshot;
        bool inRange;
    };
    const Case cases[] = {
        {{"", 0, 0}, true},
        {{"abc", 3, 0}, true},
        {{"abc", 1, 2}, true},
        {{"abc", 1, 3}, false},
        {{"abc", 4, 0}, false},
        {{"abc", -1, 0}, false},
        {{"abc", 0, -1}, false},
        // "😀" is two UTF-16 units though one character and four bytes.
        {{"😀", 2, 0}, true},
        {{"😀", 3, 0}, false},
        {{"😀x", 0, 3}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.snapshot.isInRange(), c.inRange)
            << c.snapshot.value << " " << c.snapshot.location << "+" << c.snapshot.length;
    }
}

TEST(TargetSnapshotTest, InsertionNeedsTheSameEditableElementUnchanged) {
    TargetSnapshot field{"Hello", 5, 0};
    EXPECT_TRUE(field.permitsInsertion(field, true, true));
    EXPECT_FALSE(field.permitsInsertion(field, false, true));
    EXPECT_FALSE(field.permitsInsertion(field, true, false));
    EXPECT_FALSE(field.permitsInsertion({"Hello", 4, 0}, true, true));
    EXPECT_FALSE(field.permitsInsertion({"Hello", 5, 1}, true, true));
    EXPECT_FALSE(field.permitsInsertion({"Hello!", 5, 0}, true, true));
    TargetSnapshot outside{"Hi", 3, 0};
    EXPECT_FALSE(outside.permitsInsertion(outside, true, true));
}

TEST(TextEditReceiptTest, ReplacesTheUtf16RangeAndMeasuresTheReplacement) {
    auto receipt = TextEditReceipt::make({"a😀bc", 1, 3}, "é👍");
    ASSERT_TRUE(receipt);
    EXPECT_EQ(receipt->originalText, "😀b");
    EXPECT_EQ(receipt->updatedValue, "aé👍c");
    EXPECT_EQ(receipt->replacementLength, 3);

    EXPECT_FALSE(TextEditReceipt::make({"abc", 2, 2}, "x"));
    EXPECT_FALSE(TextEditReceipt::make({"abc", -1, 0}, "x"));
}

TEST(TextEditReceiptTest, UndoNeedsTheFieldExactlyAsTheEditLeftIt) {
    auto receipt = TextEditReceipt::make({"Hi ", 3, 0}, "there");
    ASSERT_TRUE(receipt);
    TargetSnapshot committed{"Hi there", 8, 0};
    EXPECT_TRUE(receipt->permitsUndo(committed, committed, true, true));
    EXPECT_FALSE(receipt->permitsUndo(committed, committed, false, true));
    EXPECT_FALSE(receipt->permitsUndo(committed, committed, true, false));
    // The user typed, moved the caret or selected something after the last write.
    EXPECT_FALSE(receipt->permitsUndo({"Hi there!", 9, 0}, committed, true, true));
    EXPECT_FALSE(receipt->permitsUndo({"Hi there", 2, 0}, committed, true, true));
    EXPECT_FALSE(receipt->permitsUndo({"Hi there", 3, 5}, committed, true, true));
    // The last reading of the field must hold what the edit produced.
    TargetSnapshot other{"Hi thorn", 8, 0};
    EXPECT_FALSE(receipt->permitsUndo(other, other, true, true));
    // A reading whose caret lies past the end is never undone into.
    TargetSnapshot outside{"Hi there", 9, 0};
    EXPECT_FALSE(receipt->permitsUndo(outside, outside, true, true));
}

TEST(IncrementalTextEditTest, StreamsGrowingRepliesAndCompletesCharactersSplitAcrossSnapshots) {
    // Two UTF-16 units per emoji, a combining sequence split across snapshots.
    TargetSnapshot original{"Hi ", 3, 0};
    IncrementalTextEdit edit(original);
    struct Step {
        std::string reply;
        std::string delta;
        TargetSnapshot after;
    };
    const Step steps[] = {
        {"😀", "😀", {"Hi 😀", 5, 0}},
        {"😀 e", " e", {"Hi 😀 e", 7, 0}},
        {"😀 e\u0301", "\u0301", {"Hi 😀 e\u0301", 8, 0}},
        {"😀 e\u0301👍🏽", "👍🏽", {"Hi 😀 e\u0301👍🏽", 12, 0}},
        // A joiner sequence, a flag and a line break, each completed by a later snapshot.
        {"😀 e\u0301👍🏽👩", "👩", {"Hi 😀 e\u0301👍🏽👩", 14, 0}},
        {"😀 e\u0301👍🏽👩\u200d💻",
         "\u200d💻",
         {"Hi 😀 e\u0301👍🏽👩\u200d💻", 17, 0}},
        {"😀 e\u0301👍🏽👩\u200d💻🇫",
         "🇫",
         {"Hi 😀 e\u0301👍🏽👩\u200d💻🇫", 19, 0}},
        {"😀 e\u0301👍🏽👩\u200d💻🇫🇷\r",
         "🇷\r",
         {"Hi 😀 e\u0301👍🏽👩\u200d💻🇫🇷\r", 22, 0}},
        {"😀 e\u0301👍🏽👩\u200d💻🇫🇷\r\n",
         "\n",
         {"Hi 😀 e\u0301👍🏽👩\u200d💻🇫🇷\r\n", 23, 0}},
    };
    const Step& last = steps[std::size(steps) - 1];
    TargetSnapshot current = original;
    for (const Step& step : steps) {
        auto delta = edit.next(step.reply, current, true, true);
        ASSERT_TRUE(delta) << step.reply;
        EXPECT_EQ(*delta, step.delta);
        ASSERT_TRUE(edit.commit(step.reply, step.after, false)) << step.reply;
        current = step.after;
    }
    EXPECT_EQ(edit.inserted, last.reply);
    EXPECT_FALSE(edit.canFallback);
    EXPECT_FALSE(edit.stopped);
    ASSERT_TRUE(edit.receipt);
    EXPECT_EQ(edit.receipt->replacementLength, 20);
    EXPECT_EQ(edit.expected, last.after);

    // Nothing new arrived: an empty suffix, not a stop.
    auto same = edit.next(last.reply, current, true, true);
    ASSERT_TRUE(same);
    EXPECT_EQ(*same, "");
    EXPECT_FALSE(edit.stopped);
}

TEST(IncrementalTextEditTest, StopsForSelectionsRevisionsAndChangedFields) {
    struct Case {
        const char* name;
        TargetSnapshot original;
        TargetSnapshot current;
        bool readable;
        bool sameElement;
        bool editable;
    };
    const std::vector<Case> cases = {
        {"selection", {"abc", 0, 3}, {"abc", 0, 3}, true, true, true},
        {"unreadable", {"abc", 3, 0}, {"abc", 3, 0}, false, true, true},
        {"other element", {"abc", 3, 0}, {"abc", 3, 0}, true, false, true},
        {"not editable", {"abc", 3, 0}, {"abc", 3, 0}, true, true, false},
        {"user typed", {"abc", 3, 0}, {"abcd", 4, 0}, true, true, true},
        {"out of range", {"abc", 5, 0}, {"abc", 5, 0}, true, true, true},
    };
    for (const Case& c : cases) {
        IncrementalTextEdit edit(c.original);
        std::optional<TargetSnapshot> current;
        if (c.readable) current = c.current;
        EXPECT_FALSE(edit.next("x", current, c.sameElement, c.editable)) << c.name;
        EXPECT_TRUE(edit.stopped) << c.name;
        EXPECT_TRUE(edit.canFallback) << c.name;
        // Stopped for good.
        EXPECT_FALSE(edit.next("x", c.original, true, true)) << c.name;
    }

    IncrementalTextEdit revised(TargetSnapshot{"", 0, 0});
    ASSERT_TRUE(revised.next("Hello", TargetSnapshot{"", 0, 0}, true, true));
    ASSERT_TRUE(revised.commit("Hello", TargetSnapshot{"Hello", 5, 0}, false));
    EXPECT_FALSE(revised.next("Help", TargetSnapshot{"Hello", 5, 0}, true, true));
    EXPECT_TRUE(revised.stopped);
    EXPECT_FALSE(revised.canFallback);
}

TEST(IncrementalTextEditTest, CommitAcceptsOnlyTheExactPredictedField) {
    const TargetSnapshot original{"ab", 1, 0};
    struct Case {
        const char* name;
        std::optional<TargetSnapshot> after;
        bool rejected;
        bool committed;
        bool canFallback;
    };
    const std::vector<Case> cases = {
        {"landed", TargetSnapshot{"aXYb", 3, 0}, false, true, false},
        {"rejected, untouched", original, true, false, true},
        {"rejected, changed", TargetSnapshot{"aXb", 2, 0}, true, false, false},
        {"accepted, untouched", original, false, false, false},
        {"inserted text selected", TargetSnapshot{"aXYb", 1, 2}, false, false, false},
        {"caret elsewhere", TargetSnapshot{"aXYb", 4, 0}, false, false, false},
        {"unreadable after", std::nullopt, false, false, false},
        {"rejected, unreadable", std::nullopt, true, false, false},
    };
    for (const Case& c : cases) {
        IncrementalTextEdit edit(original);
        ASSERT_TRUE(edit.next("XY", original, true, true)) << c.name;
        EXPECT_EQ(edit.commit("XY", c.after, c.rejected), c.committed) << c.name;
        EXPECT_EQ(edit.stopped, !c.committed) << c.name;
        EXPECT_EQ(edit.canFallback, c.canFallback) << c.name;
        EXPECT_EQ(edit.receipt.has_value(), c.committed) << c.name;
    }
}

TEST(IncrementalTextEditTest, LaterWritesAreCheckedAgainstTheLastCommittedField) {
    IncrementalTextEdit edit(TargetSnapshot{"", 0, 0});
    ASSERT_TRUE(edit.commit("Hi", TargetSnapshot{"Hi", 2, 0}, false));
    // The original reading no longer matches; the expected one does.
    EXPECT_FALSE(IncrementalTextEdit(edit).next("Hi!", TargetSnapshot{"", 0, 0}, true, true));
    auto delta = edit.next("Hi!", TargetSnapshot{"Hi", 2, 0}, true, true);
    ASSERT_TRUE(delta);
    EXPECT_EQ(*delta, "!");
    // A rejected write that left the field as last committed keeps what was written.
    EXPECT_FALSE(edit.commit("Hi!", TargetSnapshot{"Hi", 2, 0}, true));
    EXPECT_TRUE(edit.stopped);
    EXPECT_FALSE(edit.canFallback);
    EXPECT_EQ(edit.inserted, "Hi");
}

TEST(TextInsertionPolicyTest, StreamsOnlyInWindowsOutsideWebContent) {
    EXPECT_TRUE(TextInsertionPolicy::permitsStreaming({"AXTextArea", "AXWindow"}, true));
    EXPECT_FALSE(TextInsertionPolicy::permitsStreaming({"AXTextArea", "AXGroup"}, false));
    EXPECT_FALSE(TextInsertionPolicy::permitsStreaming({"AXTextArea", "AXWebArea"}, false));
    EXPECT_FALSE(
        TextInsertionPolicy::permitsStreaming({"AXTextArea", "AXWebArea", "AXWindow"}, true));
}

}  // namespace
}  // namespace lumora
