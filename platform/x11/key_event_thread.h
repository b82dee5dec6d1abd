// The keyboard port's own connection to the X server and the one thread that reads it: the raw
// key and button events of every application (XInput 2.2), the presses the taps' key grabs
// withhold from applications, and keymap and layout changes (XKB). It turns input into the
// port's events, with the macOS key codes and flags of key_layout.h, and hands them to the main
// thread through the input queue; events it finds in the record of posts come back with the
// user data they were posted with.
//
// A grabbed key's press freezes the keyboard (a synchronous grab) until the taps' verdict
// settles it: delivered to the application as if never grabbed, or dropped; keys typed after it
// wait in the server meanwhile, so nothing overtakes it. A verdict that has not come within half
// a second delivers the press and tells the taps they were disabled by timeout; a server that
// goes away tells them they were disabled by user input. The main thread may call grab, ungrab
// and settle: XCB serialises their requests with this thread's reading.
#pragma once

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/x11/key_input_queue.h"
#include "platform/x11/key_layout.h"
#include "platform/x11/key_posts.h"
#include "platform/x11/x11_connection.h"

namespace lumora::x11 {

class KeyEventThread {
  public:
    // Connects to the display DISPLAY names and starts reading.
    KeyEventThread(KeyInputQueue& queue, PostedKeys& posted);
    ~KeyEventThread();
    KeyEventThread(const KeyEventThread&) = delete;
    KeyEventThread& operator=(const KeyEventThread&) = delete;

    // Whether input arrives: false without a connection, XInput 2.2 or XKB, and once the server
    // has gone.
    bool running() const { return running_; }
    // The keymap as last read; none without XKB.
    std::shared_ptr<const KeyLayout> layout() const;
    std::uint32_t group() const { return group_; }

    // Main thread. Grabs the key's presses with or without the lock modifiers (Caps Lock, Num
    // Lock); false, and nothing grabbed, when another client holds one of those grabs.
    bool grab(XKey key);
    // Main thread. A press a grab of this connection still withholds goes on to the
    // application.
    void ungrab(XKey key);
    // Main thread: the verdict on the press at `time`.
    void settle(std::uint32_t time, bool deliver);

  private:
    struct Press {
        XKey key = 0;
        std::uint32_t time = 0;
        bool operator==(const Press&) const = default;
    };
    struct Withheld {
        std::uint32_t time = 0;
        std::chrono::steady_clock::time_point deadline;
    };

    bool listen(int screenNumber);
    void run();
    void handle(const xcb_generic_event_t& event);
    void rawKey(XKey key, bool press, std::uint32_t time, std::uint16_t source);
    void rawButton(std::uint32_t button);
    void grabbedPress(XKey key, std::uint32_t time);
    void keyboardChanged(std::uint8_t change, const xcb_generic_event_t& event);
    void report(XKey key, bool press, std::uint32_t time, bool autorepeat, std::int64_t userData);
    void notify(platform::InputEventType notice);
    void deliverOverdue();
    void wake();

    KeyInputQueue& queue_;
    PostedKeys& posted_;
    xcb_connection_t* connection_ = nullptr;
    WindowId root_ = 0;
    int wakeFd_ = -1;
    std::uint8_t inputOpcode_ = 0;
    std::uint8_t keymapEvents_ = 0;
    std::optional<std::uint16_t> xtestKeyboard_;
    std::atomic<bool> running_ = false;
    std::atomic<bool> stopping_ = false;
    std::atomic<std::uint32_t> group_ = 0;
    // The time of the newest press the main thread settled.
    std::atomic<std::uint32_t> settled_ = 0;

    // This thread's own state.
    std::shared_ptr<const KeyLayout> current_;
    XKeys down_;
    Press lastRawPress_;
    std::optional<Withheld> withheld_;

    mutable std::mutex layoutMutex_;
    std::shared_ptr<const KeyLayout> published_;

    std::thread thread_;
};

}  // namespace lumora::x11
