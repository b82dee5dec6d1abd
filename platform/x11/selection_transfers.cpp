#include "platform/x11/selection_transfers.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <limits>

namespace lumora::x11 {

namespace {

// Well below the smallest request a server must take (256 KiB), so no chunk needs the
// big-requests extension, and each one holds the server only briefly for other clients.
constexpr std::size_t chunkBytes = 64 * 1024;
// A requestor that reads deletes each chunk within milliseconds; one that has read nothing for
// this long is stuck, and its transfer would keep a copy of the value for good.
constexpr auto stallLimit = std::chrono::seconds(5);

// What the owner's connection hears of a requestor during a transfer: the property deleted
// (read) and the window destroyed.
constexpr std::uint32_t requestorEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

}  // namespace

SelectionTransfers::SelectionTransfers(X11Connection& connection) : connection_(connection) {}

bool SelectionTransfers::send(WindowId requestor, Atom property, Atom type, SharedBytes bytes) {
    if (bytes->size() <= chunkBytes) {
        return write(requestor, property, type, 8, bytes->data(), bytes->size());
    }
    xcb_connection_t* connection = connection_.raw();
    Reply<xcb_generic_error_t> refused(xcb_request_check(
        connection, xcb_change_window_attributes_checked(connection, requestor, XCB_CW_EVENT_MASK,
                                                         &requestorEvents)));
    if (refused) return false;
    // The announced size is a lower bound, which is all a value beyond 4 GiB can give.
    auto size = static_cast<std::uint32_t>(
        std::min<std::size_t>(bytes->size(), std::numeric_limits<std::uint32_t>::max()));
    auto transfer = transfers_
                        .insert_or_assign({requestor, property},
                                          Transfer{type, std::move(bytes), 0, Clock::now()})
                        .first;
    if (!write(requestor, property, connection_.atom("INCR"), 32, &size, 1)) {
        end(transfer);
        return false;
    }
    return true;
}

bool SelectionTransfers::sendAtoms(WindowId requestor, Atom property,
                                   const std::vector<Atom>& atoms) {
    return write(requestor, property, XCB_ATOM_ATOM, 32, atoms.data(), atoms.size());
}

void SelectionTransfers::propertyDeleted(WindowId window, Atom property) {
    auto found = transfers_.find({window, property});
    if (found == transfers_.end()) return;
    Transfer& transfer = found->second;
    std::size_t length = std::min(chunkBytes, transfer.bytes->size() - transfer.sent);
    bool written =
        write(window, property, transfer.type, 8, transfer.bytes->data() + transfer.sent, length);
    // The empty chunk, read by the requestor, is the last.
    if (!written || length == 0) {
        end(found);
        return;
    }
    transfer.sent += length;
    transfer.lastRead = Clock::now();
}

void SelectionTransfers::windowDestroyed(WindowId window) {
    std::erase_if(transfers_, [window](const auto& entry) { return entry.first.first == window; });
}

std::optional<SelectionTransfers::Clock::time_point> SelectionTransfers::endStalled(
    Clock::time_point now) {
    std::optional<Clock::time_point> next;
    for (auto transfer = transfers_.begin(); transfer != transfers_.end();) {
        Clock::time_point due = transfer->second.lastRead + stallLimit;
        if (due <= now) {
            end(transfer++);
            continue;
        }
        next = next ? std::min(*next, due) : due;
        ++transfer;
    }
    return next;
}

bool SelectionTransfers::write(WindowId window, Atom property, Atom type, std::uint8_t format,
                               const void* data, std::size_t units) {
    xcb_connection_t* connection = connection_.raw();
    Reply<xcb_generic_error_t> refused(xcb_request_check(
        connection,
        xcb_change_property_checked(connection, XCB_PROP_MODE_REPLACE, window, property, type,
                                    format, static_cast<std::uint32_t>(units), data)));
    return !refused && connection_.alive();
}

void SelectionTransfers::end(Transfers::iterator transfer) {
    WindowId window = transfer->first.first;
    transfers_.erase(transfer);
    bool othersLeft =
        std::any_of(transfers_.begin(), transfers_.end(),
                    [window](const auto& entry) { return entry.first.first == window; });
    if (othersLeft) return;
    // The window may be gone already; the error that then comes back changes nothing.
    std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(connection_.raw(), window, XCB_CW_EVENT_MASK, &none);
    xcb_flush(connection_.raw());
}

}  // namespace lumora::x11
