// The audio of one recognition request, between the audio thread and the task's worker: append
// copies the buffer's first channel (the only one recognised) and queues it, endAudio marks the
// end. Neither wakes the worker for a buffer, since waking a thread is a system call, the
// dearest part of the audio thread's work; the worker collects the queue at about the
// microphone's pace and is woken only by the end or a cancel.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/speech.h"

namespace lumora::platform {

class QueuedAudioRequest final : public RecognitionRequest {
  public:
    // On the audio thread; a buffer that cannot be copied is dropped.
    void append(const AudioBuffer& buffer) override;
    void endAudio() override;

    struct Collected {
        std::vector<AudioBuffer> buffers;
        bool ended = false;
        bool cancelled = false;
    };
    // The worker's side: waits up to `interval` for the end or a cancel, then takes what was
    // queued. After a cancel nothing more is queued.
    Collected collect(std::chrono::milliseconds interval);
    void cancel();
    // Whether the audio has ended or the request was cancelled, whether or not a collect has
    // seen it yet: a decoder may drop work the end makes moot.
    bool closing();

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<AudioBuffer> queued_;
    bool ended_ = false;
    bool cancelled_ = false;
};

}  // namespace lumora::platform
