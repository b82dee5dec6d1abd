#include "platform/linux/queued_audio_request.h"

#include <new>

namespace lumora::platform {

void QueuedAudioRequest::append(const AudioBuffer& buffer) {
    if (buffer.channels.empty()) return;
    AudioBuffer copy{{buffer.format.sampleRate, 1}, {}};
    try {
        copy.channels.push_back(buffer.channels.front());
        std::lock_guard lock(mutex_);
        if (!ended_ && !cancelled_) queued_.push_back(std::move(copy));
    } catch (const std::bad_alloc&) {
    }
}

void QueuedAudioRequest::endAudio() {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

void QueuedAudioRequest::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        queued_.clear();
    }
    changed_.notify_all();
}

bool QueuedAudioRequest::closing() {
    std::lock_guard lock(mutex_);
    return ended_ || cancelled_;
}

QueuedAudioRequest::Collected QueuedAudioRequest::collect(std::chrono::milliseconds interval) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, interval, [this] { return ended_ || cancelled_; });
    Collected collected;
    collected.buffers.swap(queued_);
    collected.ended = ended_;
    collected.cancelled = cancelled_;
    return collected;
}

}  // namespace lumora::platform
