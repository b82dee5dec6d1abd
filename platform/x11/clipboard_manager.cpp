#include "platform/x11/clipboard_manager.h"

#include <xcb/xcb.h>

#include "platform/x11/selection_events.h"
#include "platform/x11/selection_window.h"
#include "platform/x11/x11_connection.h"
#include "runtime/error.h"

namespace lumora::x11 {

bool saveInClipboardManager(const std::vector<std::string>& targets,
                            std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::shared_ptr<X11Connection> connection;
    try {
        connection = X11Connection::open();
    } catch (const Error&) {
        return false;
    }
    xcb_connection_t* raw = connection->raw();
    const Atom manager = connection->atom("CLIPBOARD_MANAGER");
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(raw, xcb_get_selection_owner(raw, manager), nullptr));
    if (!owner || owner->owner == XCB_NONE) return false;

    SelectionWindow window(*connection, XCB_EVENT_MASK_NO_EVENT);
    const Atom property = connection->atom("LUMORA_SAVE_TARGETS");
    std::vector<Atom> atoms;
    for (const std::string& target : targets) atoms.push_back(connection->atom(target));
    xcb_change_property(raw, XCB_PROP_MODE_REPLACE, window.id(), property, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(atoms.size()), atoms.data());
    const Atom saveTargets = connection->atom("SAVE_TARGETS");
    xcb_convert_selection(raw, window.id(), manager, saveTargets, property, XCB_CURRENT_TIME);
    xcb_flush(raw);
    Reply<xcb_generic_event_t> answer =
        awaitEvent(raw, deadline, [&](const xcb_generic_event_t& event) {
            if (kindOf(event) != XCB_SELECTION_NOTIFY) return false;
            const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
            return notify.requestor == window.id() && notify.selection == manager &&
                   notify.target == saveTargets;
        });
    return answer &&
           reinterpret_cast<const xcb_selection_notify_event_t&>(*answer).property != XCB_ATOM_NONE;
}

}  // namespace lumora::x11
