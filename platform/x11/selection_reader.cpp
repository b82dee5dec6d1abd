#include "platform/x11/selection_reader.h"

#include <xcb/xcb.h>

#include <chrono>
#include <cstring>

#include "platform/x11/selection_events.h"
#include "platform/x11/selection_targets.h"

namespace lumora::x11 {

namespace {

using Clock = std::chrono::steady_clock;

// How long an owner has to answer a conversion, and each step of an incremental one. Owners
// answer within milliseconds; one that takes this long is hung or gone.
constexpr auto answerLimit = std::chrono::milliseconds(300);
// The longest value read, so that an owner cannot fill the helper's memory.
constexpr std::size_t longestValue = std::size_t{128} << 20;
// The part of a property one read asks for, in 32-bit units (4 MiB).
constexpr std::uint32_t readUnits = 1 << 20;

// Such as the answer to a conversion that gave up earlier, which must not pass for the next
// one's.
void dropArrivedEvents(xcb_connection_t* connection) {
    Reply<xcb_generic_event_t> event;
    do {
        event.reset(xcb_poll_for_event(connection));
    } while (event);
}

}  // namespace

SelectionReader::SelectionReader(std::shared_ptr<X11Connection> connection,
                                 std::string_view selection)
    : connection_(std::move(connection)),
      window_(*connection_, XCB_EVENT_MASK_PROPERTY_CHANGE),
      selection_(connection_->atom(selection)),
      destination_(connection_->atom("LUMORA_SELECTION")) {}

WindowId SelectionReader::owner() {
    xcb_connection_t* connection = connection_->raw();
    Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection_), nullptr));
    return reply ? reply->owner : XCB_NONE;
}

std::vector<std::string> SelectionReader::targets() {
    std::lock_guard lock(mutex_);
    std::optional<Property> list = request(connection_->atom("TARGETS"));
    std::vector<std::string> names;
    if (!list || list->format != 32) return names;
    std::vector<Atom> atoms(list->bytes.size() / sizeof(Atom));
    std::memcpy(atoms.data(), list->bytes.data(), atoms.size() * sizeof(Atom));
    // All names asked at once: one round trip for the list instead of one per target.
    xcb_connection_t* connection = connection_->raw();
    std::vector<xcb_get_atom_name_cookie_t> asked;
    for (Atom atom : atoms) asked.push_back(xcb_get_atom_name(connection, atom));
    for (xcb_get_atom_name_cookie_t cookie : asked) {
        Reply<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(connection, cookie, nullptr));
        if (name) {
            names.emplace_back(xcb_get_atom_name_name(name.get()),
                               xcb_get_atom_name_name_length(name.get()));
        }
    }
    return names;
}

std::optional<std::string> SelectionReader::convert(std::string_view target) {
    std::optional<Property> value = requestOne(target);
    if (!value) return std::nullopt;
    return std::move(value->bytes);
}

std::optional<std::string> SelectionReader::convertText(std::string_view target) {
    std::optional<Property> value = requestOne(target);
    if (!value) return std::nullopt;
    if (value->type == connection_->atom("STRING")) return utf8FromLatin1(value->bytes);
    return std::move(value->bytes);
}

HeldItem SelectionReader::item() {
    HeldItem item;
    for (const ReadableType& readable : readableTypes(targets())) {
        std::optional<std::string> bytes =
            readable.encodingByReply ? convertText(readable.target) : convert(readable.target);
        if (bytes) item.emplace_back(readable.type, std::make_shared<const std::string>(*bytes));
    }
    return item;
}

std::optional<SelectionReader::Property> SelectionReader::requestOne(std::string_view target) {
    std::lock_guard lock(mutex_);
    return request(connection_->atom(target));
}

std::optional<SelectionReader::Property> SelectionReader::request(Atom target) {
    xcb_connection_t* connection = connection_->raw();
    dropArrivedEvents(connection);
    xcb_delete_property(connection, window_.id(), destination_);
    xcb_convert_selection(connection, window_.id(), selection_, target, destination_,
                          XCB_CURRENT_TIME);
    xcb_flush(connection);
    Reply<xcb_generic_event_t> answer =
        awaitEvent(connection, Clock::now() + answerLimit, [&](const xcb_generic_event_t& event) {
            if (kindOf(event) != XCB_SELECTION_NOTIFY) return false;
            const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
            return notify.requestor == window_.id() && notify.selection == selection_ &&
                   notify.target == target;
        });
    if (!answer) return std::nullopt;
    Atom property = reinterpret_cast<const xcb_selection_notify_event_t&>(*answer).property;
    if (property == XCB_ATOM_NONE) return std::nullopt;  // refused
    std::optional<Property> value = take(property);
    if (value && value->type == connection_->atom("INCR")) return receiveIncrementally(property);
    return value;
}

std::optional<SelectionReader::Property> SelectionReader::take(Atom property) {
    xcb_connection_t* connection = connection_->raw();
    Property value;
    for (std::uint32_t offset = 0;; offset += readUnits) {
        // The server deletes the property with the read that reaches its end.
        Reply<xcb_get_property_reply_t> piece(
            xcb_get_property_reply(connection,
                                   xcb_get_property(connection, 1, window_.id(), property,
                                                    XCB_GET_PROPERTY_TYPE_ANY, offset, readUnits),
                                   nullptr));
        if (!piece || piece->type == XCB_ATOM_NONE) return std::nullopt;
        value.type = piece->type;
        value.format = piece->format;
        value.bytes.append(static_cast<const char*>(xcb_get_property_value(piece.get())),
                           static_cast<std::size_t>(xcb_get_property_value_length(piece.get())));
        if (piece->bytes_after == 0) return value;
        if (value.bytes.size() > longestValue) {
            xcb_delete_property(connection, window_.id(), property);
            return std::nullopt;
        }
    }
}

// Deleting the INCR announcement (take did) asks the owner for the first chunk; each chunk
// deleted asks for the next, and an empty one ends the value.
std::optional<SelectionReader::Property> SelectionReader::receiveIncrementally(Atom property) {
    xcb_connection_t* connection = connection_->raw();
    Property value;
    for (;;) {
        Reply<xcb_generic_event_t> written = awaitEvent(
            connection, Clock::now() + answerLimit, [&](const xcb_generic_event_t& event) {
                if (kindOf(event) != XCB_PROPERTY_NOTIFY) return false;
                const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
                return notify.window == window_.id() && notify.atom == property &&
                       notify.state == XCB_PROPERTY_NEW_VALUE;
            });
        if (!written) return std::nullopt;
        std::optional<Property> chunk = take(property);
        if (!chunk) return std::nullopt;
        // Every chunk, the closing empty one too, carries the value's type.
        value.type = chunk->type;
        value.format = chunk->format;
        if (chunk->bytes.empty()) return value;
        value.bytes += chunk->bytes;
        if (value.bytes.size() > longestValue) return std::nullopt;
    }
}

}  // namespace lumora::x11
