// Key events posted as XTest input, as another keyboard would type them. The modifier keys the
// event's flags name and the session does not hold already are pressed around the key, so the
// paste's Command-V arrives as Control+V. Every press and release is recorded before it is
// sent, so that it comes back to the taps as this helper's own, with the event's user data.
#pragma once

#include <memory>

#include "platform/keyboard.h"
#include "platform/x11/key_event_thread.h"
#include "platform/x11/key_posts.h"
#include "platform/x11/x11_connection.h"

namespace lumora::x11 {

class KeyPoster {
  public:
    KeyPoster(std::shared_ptr<X11Connection> display, KeyEventThread& events, PostedKeys& posted);

    // False, and nothing sent, when the server has no XTest or has gone, or the keyboard has no
    // key for the event's key code.
    bool post(const platform::InputEvent& event);

  private:
    void send(XKey key, bool press, std::int64_t userData);

    std::shared_ptr<X11Connection> display_;
    KeyEventThread& events_;
    PostedKeys& posted_;
    bool hasXtest_ = false;
};

}  // namespace lumora::x11
