#include "assistant/target/text_edit.h"

#include <algorithm>

#include "runtime/text.h"

namespace lumora {

namespace {

std::int64_t utf16Count(std::string_view text) {
    return static_cast<std::int64_t>(text::utf16Length(text));
}

}  // namespace

bool TargetSnapshot::isInRange() const {
    std::int64_t count = utf16Count(value);
    return location >= 0 && length >= 0 && location <= count && count - location >= length;
}

bool TargetSnapshot::permitsInsertion(const TargetSnapshot& current, bool sameElement,
                                      bool editable) const {
    return sameElement && editable && current == *this && isInRange();
}

std::optional<TextEditReceipt> TextEditReceipt::make(const TargetSnapshot& original,
                                                     std::string_view replacement) {
    if (!original.isInRange()) return std::nullopt;
    auto location = static_cast<std::size_t>(original.location);
    auto length = static_cast<std::size_t>(original.length);
    std::string_view value = original.value;
    std::size_t begin = text::byteOffsetOfUtf16(value, location);
    std::size_t end = text::byteOffsetOfUtf16(value, location + length);
    std::string updated;
    updated.reserve(value.size() - (end - begin) + replacement.size());
    updated.append(value.substr(0, begin)).append(replacement).append(value.substr(end));
    return TextEditReceipt{original, std::string(value.substr(begin, end - begin)),
                           std::move(updated), utf16Count(replacement)};
}

bool TextEditReceipt::permitsUndo(const TargetSnapshot& current, const TargetSnapshot& committed,
                                  bool sameElement, bool editable) const {
    return committed.value == updatedValue && sameElement && editable && current == committed &&
           committed.isInRange();
}

std::optional<std::string> IncrementalTextEdit::next(std::string_view text,
                                                     const std::optional<TargetSnapshot>& current,
                                                     bool sameElement, bool editable) {
    if (stopped) return std::nullopt;
    // Only a bare caret is typed at; a reply that was revised rather than extended cannot be.
    // What is left is cut behind the bytes already written, not behind as many characters:
    // a combining mark arriving after its base letter would otherwise join the written
    // character and never be typed.
    if (current && original.length == 0 && text.starts_with(inserted) &&
        baseline().permitsInsertion(*current, sameElement, editable)) {
        return std::string(text.substr(inserted.size()));
    }
    stopped = true;
    return std::nullopt;
}

bool IncrementalTextEdit::commit(std::string_view text, const std::optional<TargetSnapshot>& after,
                                 bool writeRejected) {
    if (writeRejected && after && *after == baseline()) {
        stopped = true;
        return false;
    }
    canFallback = false;
    std::optional<TextEditReceipt> made = TextEditReceipt::make(original, text);
    if (!made || !after || after->value != made->updatedValue || after->length != 0 ||
        after->location != original.location + utf16Count(text)) {
        stopped = true;
        return false;
    }
    receipt = std::move(made);
    expected = TargetSnapshot{after->value, after->location, 0};
    inserted = std::string(text);
    return true;
}

namespace TextInsertionPolicy {

bool permitsStreaming(const std::vector<std::string>& ancestorRoles, bool reachedWindow) {
    return reachedWindow && std::find(ancestorRoles.begin(), ancestorRoles.end(), "AXWebArea") ==
                                ancestorRoles.end();
}

}  // namespace TextInsertionPolicy

}  // namespace lumora
