#include "platform/x11/atspi_text_units.h"

#include <algorithm>

#include "runtime/text.h"

namespace lumora::x11 {

namespace {

gint codePointsIn(std::string_view value) {
    return static_cast<gint>(text::codePointOffsetOfUtf16(value, text::utf16Length(value)));
}

}  // namespace

std::optional<PositionUnit> TextUnits::positionUnit(AtspiAccessible* element,
                                                    std::string_view value) {
    std::string application = busNameOf(element);
    auto known = learnt_.find(application);
    if (known != learnt_.end()) return known->second;
    if (!beyondBasicPlane(value)) return PositionUnit::codePoint;
    GRef<AtspiText> text(atspi_accessible_get_text_iface(element));
    if (!text) return std::nullopt;
    ErrorSlot error;
    gint count = atspi_text_get_character_count(text.get(), error.out());
    if (error.failed()) return std::nullopt;
    std::optional<PositionUnit> unit;
    if (count == codePointsIn(value)) unit = PositionUnit::codePoint;
    if (count == lengthIn(value, PositionUnit::utf16)) unit = PositionUnit::utf16;
    if (unit && !application.empty()) learnt_.emplace(std::move(application), *unit);
    return unit;
}

gint TextUnits::insertionLength(AtspiAccessible* element, std::string_view text) {
    std::string application = busNameOf(element);
    auto known = countsInUtf16_.find(application);
    if (known == countsInUtf16_.end()) {
        // Asked of the application's root: Qt answers it nowhere else.
        ErrorSlot error;
        GRef<AtspiAccessible> root(atspi_accessible_get_application(element, error.out()));
        ErrorSlot nameError;
        gchar* toolkit =
            root ? atspi_accessible_get_toolkit_name(root.get(), nameError.out()) : nullptr;
        bool qt = toolkit && std::string_view(toolkit) == "Qt";
        g_free(toolkit);
        known = countsInUtf16_.emplace(std::move(application), qt).first;
    }
    return known->second ? lengthIn(text, PositionUnit::utf16) : static_cast<gint>(text.size());
}

// UTF-8 spends four bytes exactly on the characters UTF-16 spends two units on.
bool beyondBasicPlane(std::string_view value) {
    return std::any_of(value.begin(), value.end(),
                       [](char byte) { return (static_cast<unsigned char>(byte) & 0xF8) == 0xF0; });
}

gint lengthIn(std::string_view value, PositionUnit unit) {
    return unit == PositionUnit::utf16 ? static_cast<gint>(text::utf16Length(value))
                                       : codePointsIn(value);
}

gint positionOf(std::string_view value, std::size_t utf16Offset, PositionUnit unit) {
    if (unit == PositionUnit::utf16) return static_cast<gint>(utf16Offset);
    return static_cast<gint>(text::codePointOffsetOfUtf16(value, utf16Offset));
}

std::size_t utf16OffsetOf(std::string_view value, gint position, PositionUnit unit) {
    auto offset = static_cast<std::size_t>(std::max(position, 0));
    if (unit == PositionUnit::utf16) return offset;
    return text::utf16OffsetOfCodePoint(value, offset);
}

}  // namespace lumora::x11
