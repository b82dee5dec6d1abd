// One connection to the X display, shared by the X ports: atoms interned once, and window
// properties read with checked replies. Any thread may use it: XCB serialises requests itself,
// and the atom cache has a lock. XCB reports errors per request and never exits the process,
// so a window that closes mid-call, or a server that goes away, only makes calls come back
// empty; alive() tells the second case apart.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct xcb_connection_t;

namespace lumora::x11 {

using WindowId = std::uint32_t;
using Atom = std::uint32_t;

// The domain of the errors the X ports report.
inline constexpr std::string_view errorDomain = "Lumora.X11";

// Owns a reply or error XCB allocated; XCB hands them out with malloc.
struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

class X11Connection {
  public:
    // Connects to the display DISPLAY names. Throws lumora::Error (errorDomain, 1) when it
    // cannot.
    static std::shared_ptr<X11Connection> open();
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* raw() const { return connection_; }
    WindowId root() const { return root_; }
    // False once the server has closed or broken the connection; it never recovers.
    bool alive() const;

    // The atom with this name, interned on first use; 0 (None) when the server does not answer.
    Atom atom(std::string_view name);

    // The 32-bit values of a property of type `type` ("CARDINAL", "WINDOW", "ATOM"); empty when
    // the window or the property is missing or has another type.
    std::vector<std::uint32_t> values(WindowId window, std::string_view property,
                                      std::string_view type);
    // A text property as UTF-8 (UTF8_STRING as it is, with ill-formed sequences replaced;
    // STRING from Latin-1); none when it is missing or of another type.
    std::optional<std::string> text(WindowId window, std::string_view property);
    // The NUL-separated strings of a text property, such as WM_CLASS's instance and class.
    std::vector<std::string> strings(WindowId window, std::string_view property);

  private:
    X11Connection(xcb_connection_t* connection, WindowId root);

    xcb_connection_t* const connection_;
    const WindowId root_;
    std::mutex atomsMutex_;
    std::unordered_map<std::string, Atom> atoms_;
};

}  // namespace lumora::x11
