// How an application counts positions in its text and the length of text inserted into it.
// AT-SPI speaks of characters, and GTK and the browsers count code points; Qt and LibreOffice
// count UTF-16 code units, as their own strings do. The two agree until the text holds a
// character beyond the Basic Multilingual Plane, so that is when the unit is learnt: the
// element's character count then says which it is, and the answer is kept for the application.
// Inserted text is measured in bytes of UTF-8 everywhere but Qt, which takes the length in its
// own units and pads a longer one with whatever follows the text. Accessibility thread only.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/x11/atspi_ref.h"

namespace lumora::x11 {

enum class PositionUnit { codePoint, utf16 };

class TextUnits {
  public:
    // The unit positions of the element's text `value` are counted in. None when it cannot be
    // told yet (the count and the text disagree, as when the text changes in between, or the
    // count cannot be read), so that no position is guessed.
    std::optional<PositionUnit> positionUnit(AtspiAccessible* element, std::string_view value);
    // What the element's application expects as the length of `text` to insert.
    gint insertionLength(AtspiAccessible* element, std::string_view text);

  private:
    // By the application's bus connection.
    std::map<std::string, PositionUnit, std::less<>> learnt_;
    std::map<std::string, bool, std::less<>> countsInUtf16_;
};

// Whether `value` holds a character that UTF-16 spends two units on.
bool beyondBasicPlane(std::string_view value);
// `value`'s length in `unit`.
gint lengthIn(std::string_view value, PositionUnit unit);
// Conversions between a UTF-16 offset into `value` and a position in `unit`.
gint positionOf(std::string_view value, std::size_t utf16Offset, PositionUnit unit);
std::size_t utf16OffsetOf(std::string_view value, gint position, PositionUnit unit);

}  // namespace lumora::x11
