#include "platform/x11/key_input_queue.h"

namespace lumora::x11 {

KeyInputQueue::KeyInputQueue(EventLoop& loop, std::function<void()> drain)
    : loop_(loop), drain_(std::move(drain)) {}

void KeyInputQueue::push(const KeyInput& input) {
    if (!listening_) return;
    {
        std::lock_guard lock(mutex_);
        if (count_ == room) {
            overflowed_ = true;
            return;
        }
        ring_[(first_ + count_) % room] = input;
        ++count_;
    }
    loop_.post([this] { drain_(); });
}

void KeyInputQueue::passedOn(std::uint32_t time) {
    std::lock_guard lock(mutex_);
    for (std::size_t queued = 0; queued < count_; ++queued) {
        KeyInput& input = ring_[(first_ + queued) % room];
        if (input.press && input.time == time) input.passedOn = true;
    }
}

std::optional<KeyInput> KeyInputQueue::take() {
    std::lock_guard lock(mutex_);
    if (overflowed_) {
        // What is queued is older than the gap; the taps start over from the notice.
        overflowed_ = false;
        count_ = 0;
        KeyInput notice;
        notice.event.type = platform::InputEventType::tapDisabledByTimeout;
        return notice;
    }
    if (count_ == 0) return std::nullopt;
    KeyInput input = ring_[first_];
    first_ = (first_ + 1) % room;
    --count_;
    return input;
}

}  // namespace lumora::x11
