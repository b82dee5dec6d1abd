// The value model behind every write into another application's text field: readings of the
// field, the receipt that lets an edit be undone, and the state of a reply typed into the field
// piece by piece. Offsets and lengths are UTF-16 code units, as the platform's text ranges are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumora {

// One reading of a text element: its whole value and its selection (length 0 is a caret).
struct TargetSnapshot {
    std::string value;
    std::int64_t location = 0;
    std::int64_t length = 0;

    bool operator==(const TargetSnapshot&) const = default;

    bool isInRange() const;
    // Whether the field, read now as `current`, is still exactly this reading.
    bool permitsInsertion(const TargetSnapshot& current, bool sameElement, bool editable) const;
};

// One replacement of the selection, with what undoing it needs.
struct TextEditReceipt {
    TargetSnapshot original;
    std::string originalText;
    std::string updatedValue;
    std::int64_t replacementLength = 0;

    bool operator==(const TextEditReceipt&) const = default;

    // None when `original` is not in range.
    static std::optional<TextEditReceipt> make(const TargetSnapshot& original,
                                               std::string_view replacement);
    // Whether the field still shows exactly what the edit produced, as last seen.
    bool permitsUndo(const TargetSnapshot& current, const TargetSnapshot& committed,
                     bool sameElement, bool editable) const;
};

// A reply typed into one field while it grows. Once stopped it stays stopped, and once
// something may have been written it can never fall back to pasting the whole reply.
struct IncrementalTextEdit {
    explicit IncrementalTextEdit(TargetSnapshot original) : original(std::move(original)) {}

    const TargetSnapshot original;
    bool stopped = false;
    bool canFallback = true;
    std::optional<TextEditReceipt> receipt;
    std::string inserted;
    std::optional<TargetSnapshot> expected;

    // The part of `text` (the whole reply so far) still to be typed; none stops the edit.
    std::optional<std::string> next(std::string_view text,
                                    const std::optional<TargetSnapshot>& current, bool sameElement,
                                    bool editable);
    // Checks the field read right after writing `text`; false stops the edit.
    bool commit(std::string_view text, const std::optional<TargetSnapshot>& after,
                bool writeRejected);

  private:
    const TargetSnapshot& baseline() const { return expected ? *expected : original; }
};

namespace TextInsertionPolicy {
// Fields inside web content, or outside any window, are never typed into piece by piece.
bool permitsStreaming(const std::vector<std::string>& ancestorRoles, bool reachedWindow);
}  // namespace TextInsertionPolicy

}  // namespace lumora
