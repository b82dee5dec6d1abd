// The key events this helper posted through XTest and has not yet seen come back. Every XTest
// event reaches the event thread again as a raw event of the XTest keyboard, exactly like one
// another client (or a test playing the user) posts; a raw event that matches a recorded post
// is ours, and comes back with the user data it was posted with, such as the hold monitor's
// marker. The main thread records, the event thread matches; a lock guards the record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/x11/key_layout.h"

namespace lumora::x11 {

class PostedKeys {
  public:
    // Before the press or release is sent.
    void record(XKey key, bool press, std::int64_t userData);
    // The user data of the oldest recorded post of this press or release, which it forgets;
    // none when no post of it is waiting.
    std::optional<std::int64_t> match(XKey key, bool press);

  private:
    struct Post {
        XKey key = 0;
        bool press = false;
        std::int64_t userData = 0;
    };
    // A post the server dropped never comes back; with a fixed room the oldest then gives way,
    // so a lost one cannot grow the record.
    static constexpr std::size_t room = 64;

    std::mutex mutex_;
    std::array<Post, room> posts_{};
    std::size_t count_ = 0;
};

}  // namespace lumora::x11
