#include "platform/x11/key_requests.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>
#include <xkbcommon/xkbcommon-x11.h>

#include <string_view>

#include "platform/x11/key_xcb_xkb.h"

namespace lumora::x11 {

namespace {

template <class T>
Reply<T> checked(T* reply, xcb_generic_error_t* error) {
    Reply<xcb_generic_error_t> dropped(error);
    return Reply<T>(reply);
}

}  // namespace

std::optional<XKeys> keysDown(xcb_connection_t* connection) {
    xcb_generic_error_t* error = nullptr;
    auto reply =
        checked(xcb_query_keymap_reply(connection, xcb_query_keymap(connection), &error), error);
    if (!reply) return std::nullopt;
    XKeys keys;
    for (std::size_t key = 0; key < keys.size(); ++key) {
        keys[key] = (reply->keys[key / 8] >> (key % 8)) & 1;
    }
    return keys;
}

std::uint32_t layoutGroup(xcb_connection_t* connection) {
    xcb_generic_error_t* error = nullptr;
    auto reply =
        checked(xcb_xkb_get_state_reply(
                    connection, xcb_xkb_get_state(connection, XCB_XKB_ID_USE_CORE_KBD), &error),
                error);
    return reply ? reply->group : 0;
}

std::optional<platform::Point> pointerLocation(xcb_connection_t* connection, WindowId root) {
    xcb_generic_error_t* error = nullptr;
    auto reply = checked(
        xcb_query_pointer_reply(connection, xcb_query_pointer(connection, root), &error), error);
    if (!reply) return std::nullopt;
    return platform::Point{static_cast<double>(reply->root_x), static_cast<double>(reply->root_y)};
}

std::optional<std::uint8_t> listenToKeymaps(xcb_connection_t* connection) {
    std::uint8_t firstEvent = 0;
    if (!xkb_x11_setup_xkb_extension(
            connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &firstEvent, nullptr)) {
        return std::nullopt;
    }
    constexpr std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY |
                                     XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                                     XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
    constexpr std::uint16_t mapParts =
        XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
        XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
        XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.affectState = details.stateDetails = XCB_XKB_STATE_PART_GROUP_STATE;
    Reply<xcb_generic_error_t> refused(xcb_request_check(
        connection, xcb_xkb_select_events_aux_checked(connection, XCB_XKB_ID_USE_CORE_KBD, events,
                                                      0, 0, mapParts, mapParts, &details)));
    if (refused) return std::nullopt;
    return firstEvent;
}

std::optional<std::uint8_t> listenToRawInput(xcb_connection_t* connection, WindowId root) {
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(connection, &xcb_input_id);
    if (extension == nullptr || !extension->present) return std::nullopt;
    xcb_generic_error_t* error = nullptr;
    auto version = checked(xcb_input_xi_query_version_reply(
                               connection, xcb_input_xi_query_version(connection, 2, 2), &error),
                           error);
    if (!version || version->major_version < 2 ||
        (version->major_version == 2 && version->minor_version < 2)) {
        return std::nullopt;
    }
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE |
               XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    Reply<xcb_generic_error_t> refused(xcb_request_check(
        connection, xcb_input_xi_select_events_checked(connection, root, 1, &mask.head)));
    if (refused) return std::nullopt;
    return extension->major_opcode;
}

std::optional<std::uint16_t> xtestKeyboard(xcb_connection_t* connection) {
    constexpr std::string_view suffix = " XTEST keyboard";
    xcb_generic_error_t* error = nullptr;
    auto reply = checked(
        xcb_input_xi_query_device_reply(
            connection, xcb_input_xi_query_device(connection, XCB_INPUT_DEVICE_ALL), &error),
        error);
    if (!reply) return std::nullopt;
    for (auto device = xcb_input_xi_query_device_infos_iterator(reply.get()); device.rem > 0;
         xcb_input_xi_device_info_next(&device)) {
        std::string_view name(xcb_input_xi_device_info_name(device.data), device.data->name_len);
        if (device.data->type == XCB_INPUT_DEVICE_TYPE_SLAVE_KEYBOARD && name.ends_with(suffix)) {
            return device.data->deviceid;
        }
    }
    return std::nullopt;
}

}  // namespace lumora::x11
