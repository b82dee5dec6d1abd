#include "platform/x11/atspi_text_field.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "runtime/text.h"

namespace lumora::x11::text_field {

namespace {

using platform::AXError;

constexpr int layoutWaits = 5;
constexpr auto layoutWait = std::chrono::milliseconds(20);

// A range of the element's text in its application's own unit.
struct Span {
    gint start = 0;
    gint end = 0;
};

GRef<AtspiText> textOf(AtspiAccessible* element) {
    return GRef<AtspiText>(atspi_accessible_get_text_iface(element));
}

bool hasState(AtspiAccessible* element, AtspiStateType state) {
    GRef<AtspiStateSet> states(atspi_accessible_get_state_set(element));
    return states && atspi_state_set_contains(states.get(), state);
}

// The element's editable text when assistive technologies may write it now.
GRef<AtspiEditableText> editableTextOf(AtspiAccessible* element) {
    GRef<AtspiEditableText> editable(atspi_accessible_get_editable_text_iface(element));
    if (!editable || !hasState(element, ATSPI_STATE_EDITABLE)) return nullptr;
    return editable;
}

// The span of a UTF-16 range of `value`; none when negative, or when it leaves the text and
// `clamped` is false.
std::optional<Span> spanOf(std::string_view value, platform::TextRange range, bool clamped,
                           PositionUnit unit) {
    if (range.location < 0 || range.length < 0) return std::nullopt;
    auto location = static_cast<std::size_t>(range.location);
    auto end = location + static_cast<std::size_t>(range.length);
    if (!clamped && end > text::utf16Length(value)) return std::nullopt;
    return Span{positionOf(value, location, unit), positionOf(value, end, unit)};
}

platform::TextRange rangeOf(std::string_view value, Span span, PositionUnit unit) {
    auto start = static_cast<long>(utf16OffsetOf(value, span.start, unit));
    auto end = static_cast<long>(utf16OffsetOf(value, span.end, unit));
    return {start, end - start};
}

std::optional<Span> selectedSpan(AtspiText* text) {
    ErrorSlot error;
    gint selections = atspi_text_get_n_selections(text, error.out());
    if (error.failed()) return std::nullopt;
    if (selections > 0) {
        AtspiRange* range = atspi_text_get_selection(text, 0, error.out());
        if (!range || error.failed()) {
            g_free(range);
            return std::nullopt;
        }
        Span span{std::min(range->start_offset, range->end_offset),
                  std::max(range->start_offset, range->end_offset)};
        g_free(range);
        if (span.start != span.end) return span;
    }
    gint caret = atspi_text_get_caret_offset(text, error.out());
    if (error.failed() || caret < 0) return std::nullopt;
    return Span{caret, caret};
}

// The length of `written`, just written into the element, in the element's unit; reading the
// element's text to learn the unit only when the two units could differ.
std::optional<gint> writtenLength(AtspiAccessible* element, std::string_view written,
                                  TextUnits& units) {
    if (!beyondBasicPlane(written)) return lengthIn(written, PositionUnit::codePoint);
    std::optional<std::string> now = value(element);
    std::optional<PositionUnit> unit = now ? units.positionUnit(element, *now) : std::nullopt;
    if (!unit) return std::nullopt;
    return lengthIn(written, *unit);
}

void addSelectionUnanswered(AtspiAccessible* element, Span span) {
    AtspiObject* object = ATSPI_OBJECT(element);
    if (!object->app || !object->app->bus || !object->path) return;
    DBusMessage* message = dbus_message_new_method_call(object->app->bus_name, object->path,
                                                        "org.a11y.atspi.Text", "AddSelection");
    if (!message) return;
    dbus_int32_t start = span.start;
    dbus_int32_t end = span.end;
    dbus_message_append_args(message, DBUS_TYPE_INT32, &start, DBUS_TYPE_INT32, &end,
                             DBUS_TYPE_INVALID);
    dbus_message_set_no_reply(message, TRUE);
    dbus_connection_send(object->app->bus, message, nullptr);
    dbus_message_unref(message);
}

// Toolkits move the caret along with text inserted at it, and setting it again makes them lay
// the text out again, which costs more than the insertion; so it is set only where it is not.
bool placeCaret(AtspiText* text, gint offset) {
    ErrorSlot error;
    if (atspi_text_get_caret_offset(text, error.out()) == offset && !error.failed()) return true;
    ErrorSlot setError;
    return atspi_text_set_caret_offset(text, offset, setError.out()) && !setError.failed();
}

std::optional<platform::Rect> rectangle(AtspiRect* rect, const ErrorSlot& error) {
    std::optional<platform::Rect> bounds;
    if (rect && !error.failed()) {
        bounds =
            platform::Rect{static_cast<double>(rect->x), static_cast<double>(rect->y),
                           static_cast<double>(rect->width), static_cast<double>(rect->height)};
    }
    g_free(rect);
    return bounds;
}

std::optional<platform::Rect> characterExtents(AtspiText* text, gint offset,
                                               AtspiCoordType coordinates) {
    ErrorSlot error;
    return rectangle(atspi_text_get_character_extents(text, offset, coordinates, error.out()),
                     error);
}

// Where a bare caret stands: at the left edge of the character at it, or, behind the last
// character, where Qt and the browsers have no box, at the right edge of the one before it.
std::optional<platform::Rect> caretBox(AtspiText* text, gint offset, AtspiCoordType coordinates) {
    std::optional<platform::Rect> caret = characterExtents(text, offset, coordinates);
    if (caret && caret->height <= 0 && offset > 0) {
        caret = characterExtents(text, offset - 1, coordinates);
        if (caret) caret->x += caret->width;
    }
    // A bare caret has no width of its own.
    if (caret) caret->width = 0;
    return caret;
}

// The box of a span of a text that holds `characters` characters.
std::optional<platform::Rect> rangeBox(AtspiText* text, Span span, AtspiCoordType coordinates) {
    ErrorSlot error;
    if (std::optional<platform::Rect> range = rectangle(
            atspi_text_get_range_extents(text, span.start, span.end, coordinates, error.out()),
            error)) {
        return range;
    }
    // GTK 4 measures no ranges, only characters: the range's box is the one around its first
    // and last character.
    std::optional<platform::Rect> first = characterExtents(text, span.start, coordinates);
    std::optional<platform::Rect> last = characterExtents(text, span.end - 1, coordinates);
    if (!first || !last) return std::nullopt;
    double left = std::min(first->x, last->x);
    double top = std::min(first->y, last->y);
    double right = std::max(first->x + first->width, last->x + last->width);
    double bottom = std::max(first->y + first->height, last->y + last->height);
    return platform::Rect{left, top, right - left, bottom - top};
}

std::optional<platform::Rect> extents(AtspiText* text, Span span, gint characters,
                                      AtspiCoordType coordinates) {
    auto measure = [&] {
        return span.start == span.end ? caretBox(text, span.start, coordinates)
                                      : rangeBox(text, span, coordinates);
    };
    std::optional<platform::Rect> box = measure();
    // Firefox answers with empty boxes until it has laid the text out for assistive
    // technologies, which the first question starts; an empty text has no boxes at all.
    for (int wait = 0; box && box->height <= 0 && characters > 0 && wait < layoutWaits; ++wait) {
        std::this_thread::sleep_for(layoutWait);
        box = measure();
    }
    return box;
}

}  // namespace

bool isDefunct(AtspiAccessible* element) {
    return hasState(element, ATSPI_STATE_DEFUNCT);
}

bool isEditable(AtspiAccessible* element) {
    return textOf(element) && hasState(element, ATSPI_STATE_EDITABLE);
}

std::optional<std::string> value(AtspiAccessible* element) {
    GRef<AtspiText> text = textOf(element);
    if (!text) return std::nullopt;
    // To the end (-1) in one call: the character count is a property, and a property read
    // that times out answers 0 without reporting it.
    ErrorSlot error;
    gchar* contents = atspi_text_get_text(text.get(), 0, -1, error.out());
    std::optional<std::string> result;
    if (contents && !error.failed()) result = std::string(contents);
    g_free(contents);
    return result;
}

std::optional<platform::TextRange> selectedRange(AtspiAccessible* element, std::string_view value,
                                                 TextUnits& units) {
    GRef<AtspiText> text = textOf(element);
    if (!text) return std::nullopt;
    std::optional<Span> span = selectedSpan(text.get());
    std::optional<PositionUnit> unit = span ? units.positionUnit(element, value) : std::nullopt;
    if (!unit) return std::nullopt;
    return rangeOf(value, *span, *unit);
}

std::optional<platform::Rect> boundsForRange(AtspiAccessible* element, platform::TextRange range,
                                             AtspiCoordType coordinates, TextUnits& units) {
    std::optional<std::string> current = value(element);
    std::optional<PositionUnit> unit =
        current ? units.positionUnit(element, *current) : std::nullopt;
    if (!unit) return std::nullopt;
    std::optional<Span> span = spanOf(*current, range, false, *unit);
    if (!span) return std::nullopt;
    return extents(textOf(element).get(), *span, lengthIn(*current, *unit), coordinates);
}

AXError replaceSelection(AtspiAccessible* element, const std::string& inserted, TextUnits& units) {
    GRef<AtspiEditableText> editable = editableTextOf(element);
    if (!editable) return platform::axAttributeUnsupported;
    GRef<AtspiText> text = textOf(element);
    std::optional<Span> span = text ? selectedSpan(text.get()) : std::nullopt;
    if (!span) return platform::axCannotComplete;
    ErrorSlot error;
    if (span->end > span->start &&
        !atspi_editable_text_delete_text(editable.get(), span->start, span->end, error.out())) {
        return platform::axCannotComplete;
    }
    if (!inserted.empty() &&
        !atspi_editable_text_insert_text(editable.get(), span->start, inserted.c_str(),
                                         units.insertionLength(element, inserted), error.out())) {
        return platform::axCannotComplete;
    }
    std::optional<gint> length = writtenLength(element, inserted, units);
    return length && placeCaret(text.get(), span->start + *length) ? platform::axSuccess
                                                                   : platform::axCannotComplete;
}

AXError select(AtspiAccessible* element, platform::TextRange range, TextUnits& units) {
    GRef<AtspiText> text = textOf(element);
    std::optional<std::string> current = value(element);
    if (!text || !current) return platform::axAttributeUnsupported;
    std::optional<PositionUnit> unit = units.positionUnit(element, *current);
    if (!unit) return platform::axCannotComplete;
    std::optional<Span> span = spanOf(*current, range, true, *unit);
    if (!span) return platform::axIllegalArgument;
    if (span->start == span->end) {
        return placeCaret(text.get(), span->start) ? platform::axSuccess
                                                   : platform::axCannotComplete;
    }
    // GTK 4 answers neither way of selecting truthfully: it replaces a selection with a bare
    // caret while answering that it selected, and adds one without ever answering. So any
    // selection is dropped by placing the caret, one is added without waiting for an answer,
    // and what reads back counts (the application answers calls in the order they come).
    ErrorSlot caretError;
    if (!atspi_text_set_caret_offset(text.get(), span->start, caretError.out())) {
        return platform::axCannotComplete;
    }
    addSelectionUnanswered(element, *span);
    std::optional<Span> selected = selectedSpan(text.get());
    return selected && selected->start == span->start && selected->end == span->end
               ? platform::axSuccess
               : platform::axCannotComplete;
}

AXError setValue(AtspiAccessible* element, const std::string& contents, TextUnits& units) {
    GRef<AtspiEditableText> editable = editableTextOf(element);
    if (!editable) return platform::axAttributeUnsupported;
    ErrorSlot error;
    if (!atspi_editable_text_set_text_contents(editable.get(), contents.c_str(), error.out())) {
        return platform::axCannotComplete;
    }
    std::optional<gint> length = writtenLength(element, contents, units);
    return length && placeCaret(textOf(element).get(), *length) ? platform::axSuccess
                                                                : platform::axCannotComplete;
}

}  // namespace lumora::x11::text_field
