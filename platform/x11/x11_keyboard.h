// The keyboard of the real desktop. Key codes are the macOS virtual key codes by position
// (key_codes.h), flags the macOS ones with Control as Command (key_layout.h); key state and
// flags come from the server's own record of the keys down, layout translation from its XKB
// keymap, synthetic events go out as XTest input (key_poster.h), and the taps and the global
// key-down monitor see every application's input through the keyboard's own connection and
// event thread (key_event_thread.h), with their handlers on the main thread (key_taps.h). The
// paste's Command-V is posted as the keys the window in front pastes with (window_paste.h).
#pragma once

#include <memory>

#include "platform/keyboard.h"
#include "platform/x11/key_event_thread.h"
#include "platform/x11/key_input_queue.h"
#include "platform/x11/key_poster.h"
#include "platform/x11/key_posts.h"
#include "platform/x11/key_taps.h"
#include "platform/x11/window_paste.h"
#include "platform/x11/x11_connection.h"
#include "runtime/event_loop.h"

namespace lumora::x11 {

class X11Keyboard final : public platform::Keyboard {
  public:
    // Tap handlers run on `mainLoop`, which must outlive the keyboard and run nothing once it
    // is gone; so must `paste`.
    X11Keyboard(std::shared_ptr<X11Connection> display, EventLoop& mainLoop, WindowPaste& paste);

    platform::EventFlags sessionFlags() override;
    bool isKeyDown(std::uint16_t keyCode) override;
    bool canReport(std::uint16_t keyCode) override;
    std::optional<platform::InputEvent> createKeyEvent(std::uint16_t keyCode,
                                                       bool keyDown) override;
    void post(const platform::InputEvent& event) override;
    bool hasLayoutData() override;
    std::optional<std::u16string> translate(std::uint16_t keyCode) override;
    std::shared_ptr<void> addGlobalKeyDownMonitor(
        std::function<void(std::uint16_t keyCode)> handler) override;
    std::unique_ptr<platform::EventTap> createEventTap(std::uint64_t mask,
                                                       platform::EventTapHandler handler) override;

  private:
    // The keymap while the server answers.
    std::shared_ptr<const KeyLayout> liveLayout() const;

    std::shared_ptr<X11Connection> display_;
    PostedKeys posted_;
    KeyInputQueue queue_;
    KeyEventThread events_;
    KeyTaps taps_;
    KeyPoster poster_;
    WindowPaste& paste_;
};

}  // namespace lumora::x11
