// The hand-over of keyboard and mouse input from the keyboard's event thread to the main
// thread, where the port's taps and monitors run: a fixed ring, so that passing an event on
// never allocates, and for each event one drain posted to the main loop. Input nobody listens
// to is not queued. When the main thread falls so far behind that the ring is full, the taps are
// told they were disabled by timeout, as a slow tap is, instead of seeing a history with holes.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/keyboard.h"
#include "platform/x11/key_layout.h"
#include "runtime/event_loop.h"

namespace lumora::x11 {

struct KeyInput {
    platform::InputEvent event;
    // A key press, which the taps' key grabs may be withholding from applications: its X key
    // and server time settle it.
    bool press = false;
    XKey key = 0;
    std::uint32_t time = 0;
    // The press went on to the application before the taps judged it (their verdict was
    // overdue), so a verdict can no longer hold it back.
    bool passedOn = false;
};

class KeyInputQueue {
  public:
    // `drain` runs on the loop's thread after input arrived; the loop must run nothing after
    // the queue is gone.
    KeyInputQueue(EventLoop& loop, std::function<void()> drain);

    // Main thread: whether anyone takes input.
    void listen(bool listening) { listening_ = listening; }
    // Event thread.
    void push(const KeyInput& input);
    // Event thread: the press at `time` has gone on to the application, if it is still queued.
    void passedOn(std::uint32_t time);
    // Main thread: the oldest input not taken yet.
    std::optional<KeyInput> take();

  private:
    static constexpr std::size_t room = 256;

    EventLoop& loop_;
    const std::function<void()> drain_;
    std::atomic<bool> listening_ = false;
    std::mutex mutex_;
    std::array<KeyInput, room> ring_{};
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    bool overflowed_ = false;
};

}  // namespace lumora::x11
