#include "platform/x11/x11_connection.h"

#include <xcb/xcb.h>

#include <algorithm>

#include "runtime/error.h"
#include "runtime/text.h"

namespace lumora::x11 {

namespace {

// The longest property read, in 32-bit units; the server sends what there is up to it.
constexpr std::uint32_t longestProperty = 1 << 20;

std::string cannotOpenMessage() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return "Cannot open the X display: DISPLAY is not set.";
    }
    return "Cannot open the X display “" + std::string(display) + "”.";
}

xcb_screen_t* screenNumbered(xcb_connection_t* connection, int number) {
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int index = 0; screens.rem > 0; xcb_screen_next(&screens), ++index) {
        if (index == number) return screens.data;
    }
    return nullptr;
}

std::string latin1ToUtf8(std::string_view latin1) {
    std::string utf8;
    for (unsigned char c : latin1) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

// A window that has gone reads as one without the property, so the error itself is dropped.
Reply<xcb_get_property_reply_t> readProperty(xcb_connection_t* connection, WindowId window,
                                             Atom property) {
    if (property == XCB_ATOM_NONE) return nullptr;
    xcb_get_property_cookie_t cookie = xcb_get_property(
        connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, longestProperty);
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, &error));
    Reply<xcb_generic_error_t> dropped(error);
    return reply;
}

std::string_view bytesOf(xcb_get_property_reply_t* reply) {
    return {static_cast<const char*>(xcb_get_property_value(reply)),
            static_cast<std::size_t>(xcb_get_property_value_length(reply))};
}

}  // namespace

std::shared_ptr<X11Connection> X11Connection::open() {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    xcb_screen_t* screen =
        xcb_connection_has_error(connection) ? nullptr : screenNumbered(connection, screenNumber);
    if (screen == nullptr) {
        xcb_disconnect(connection);
        throw Error(std::string(errorDomain), 1, cannotOpenMessage());
    }
    return std::shared_ptr<X11Connection>(new X11Connection(connection, screen->root));
}

X11Connection::X11Connection(xcb_connection_t* connection, WindowId root)
    : connection_(connection), root_(root) {}

X11Connection::~X11Connection() {
    xcb_disconnect(connection_);
}

bool X11Connection::alive() const {
    return xcb_connection_has_error(connection_) == 0;
}

Atom X11Connection::atom(std::string_view name) {
    std::lock_guard lock(atomsMutex_);
    std::string key(name);
    if (auto found = atoms_.find(key); found != atoms_.end()) return found->second;
    xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(key.size()), key.data());
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookie, &error));
    Reply<xcb_generic_error_t> dropped(error);
    if (!reply) return XCB_ATOM_NONE;
    atoms_.emplace(std::move(key), reply->atom);
    return reply->atom;
}

std::vector<std::uint32_t> X11Connection::values(WindowId window, std::string_view property,
                                                 std::string_view type) {
    Reply<xcb_get_property_reply_t> reply = readProperty(connection_, window, atom(property));
    if (!reply || reply->format != 32 || reply->type != atom(type)) return {};
    const auto* first = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {first, first + xcb_get_property_value_length(reply.get()) / 4};
}

std::optional<std::string> X11Connection::text(WindowId window, std::string_view property) {
    Reply<xcb_get_property_reply_t> reply = readProperty(connection_, window, atom(property));
    if (!reply || reply->format != 8) return std::nullopt;
    if (reply->type == atom("UTF8_STRING")) return text::sanitizeUtf8(bytesOf(reply.get()));
    if (reply->type == XCB_ATOM_STRING) return latin1ToUtf8(bytesOf(reply.get()));
    return std::nullopt;
}

std::vector<std::string> X11Connection::strings(WindowId window, std::string_view property) {
    std::optional<std::string> all = text(window, property);
    std::vector<std::string> parts;
    if (!all) return parts;
    for (std::size_t start = 0; start < all->size();) {
        std::size_t end = std::min(all->find('\0', start), all->size());
        parts.push_back(all->substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

}  // namespace lumora::x11
