// Streams one recording's microphone audio to the app, converted to 16 kHz mono float, as
// base64 "whisper_audio" events followed by "whisper_finish".
#pragma once

#include <atomic>
#include <cstdint>

namespace lumora {

class WhisperAudioCapture {
  public:
    // No further events for this recording.
    void cancel() { active_ = false; }
    bool isActive() const { return active_; }

  private:
    std::atomic<bool> active_{true};
};

}  // namespace lumora
