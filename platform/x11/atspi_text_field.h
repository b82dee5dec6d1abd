// Reading and writing a text element over AT-SPI in the accessibility port's terms: ranges in
// UTF-16 code units (converted exactly both ways from the unit the application counts in), writes
// that replace the selection and leave a bare caret behind the new text, and the rectangle of a
// range (on screen, or within its window). Whether a field may be read at all (password fields
// may not) is the port's decision, not these functions'. Accessibility thread only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/accessibility.h"
#include "platform/geometry.h"
#include "platform/x11/atspi_ref.h"
#include "platform/x11/atspi_text_units.h"

namespace lumora::x11::text_field {

// The element's application has gone.
bool isDefunct(AtspiAccessible* element);
// The user can edit its text now, whether or not the application lets assistive technologies
// write it: browsers do not, and what is meant for such a field is pasted into it.
bool isEditable(AtspiAccessible* element);

std::optional<std::string> value(AtspiAccessible* element);
// The first selection, or the caret as an empty range.
std::optional<platform::TextRange> selectedRange(AtspiAccessible* element, std::string_view value,
                                                 TextUnits& units);
// In screen coordinates, or relative to the element's window (`coordinates`).
std::optional<platform::Rect> boundsForRange(AtspiAccessible* element, platform::TextRange range,
                                             AtspiCoordType coordinates, TextUnits& units);

platform::AXError replaceSelection(AtspiAccessible* element, const std::string& text,
                                   TextUnits& units);
// Selects the range, clamped to the text.
platform::AXError select(AtspiAccessible* element, platform::TextRange range, TextUnits& units);
// Replaces the whole text; the caret ends up after it.
platform::AXError setValue(AtspiAccessible* element, const std::string& text, TextUnits& units);

}  // namespace lumora::x11::text_field
