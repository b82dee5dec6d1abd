// The event taps and global key-down monitors of the real desktop, on the main thread: the
// input the event thread hands over goes through the enabled taps, newest first, as the port
// promises, then a key-down that no tap swallowed reaches the monitors. A tap's claim on keys
// becomes the event thread's key grabs, and the taps' verdict on a grabbed press settles it.
// Taps and monitors are added, changed and removed on the main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/keyboard.h"
#include "platform/x11/key_event_thread.h"
#include "platform/x11/key_input_queue.h"

namespace lumora::x11 {

class KeyTaps {
  public:
    KeyTaps(KeyInputQueue& queue, KeyEventThread& events) : queue_(queue), events_(events) {}
    ~KeyTaps();
    KeyTaps(const KeyTaps&) = delete;
    KeyTaps& operator=(const KeyTaps&) = delete;

    // None when no input arrives. The tap must not outlive this registry.
    std::unique_ptr<platform::EventTap> addTap(std::uint64_t mask,
                                               platform::EventTapHandler handler);
    // Keep the token alive, and no longer than this registry.
    std::shared_ptr<void> addMonitor(std::function<void(std::uint16_t keyCode)> handler);

    // Delivers what the event thread has handed over.
    void drain();

  private:
    friend class X11EventTap;
    friend class KeyMonitorToken;
    struct Tap {
        std::uint64_t mask = 0;
        bool enabled = true;
        std::shared_ptr<platform::EventTapHandler> handler;
        XKeys claimed;
    };
    using Monitor = std::function<void(std::uint16_t)>;

    void removeTap(int id);
    void setEnabled(int id, bool enabled);
    bool claim(int id, const std::vector<std::uint16_t>& keyCodes);
    void removeMonitor(int id);
    void deliver(const KeyInput& input);
    void disableAll(const platform::InputEvent& notice);
    // Grabs what the taps claim now and no longer what they do not; false, and the grabs as
    // they were, when one is refused.
    bool grabClaims();
    void updateListening();

    KeyInputQueue& queue_;
    KeyEventThread& events_;
    std::map<int, Tap> taps_;
    std::map<int, std::shared_ptr<Monitor>> monitors_;
    XKeys grabbed_;
    int nextId_ = 0;
};

}  // namespace lumora::x11
