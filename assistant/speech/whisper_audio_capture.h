// Streams one recording's microphone audio to the app, which runs Whisper: every buffer is
// converted to 16 kHz mono float and sent as a base64 "whisper_audio" event, in order, then
// "whisper_finish". The audio thread only copies and queues; conversion, encoding and the
// events run on one serial worker of the capture's own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/audio.h"
#include "runtime/json.h"
#include "runtime/thread_pool.h"

namespace lumora {

class WhisperAudioCapture {
  public:
    // Throws lumora::Error ("Lumora", 1, "Could not prepare the microphone for Whisper.")
    // when `input` cannot be converted. Events go to `sendEvent`, the event writer by default.
    WhisperAudioCapture(platform::AudioFormat input, std::uint64_t id,
                        platform::AudioConversion& conversion,
                        std::function<void(const json::Document&)> sendEvent = {});
    // Waits for the work already queued.
    ~WhisperAudioCapture();
    WhisperAudioCapture(const WhisperAudioCapture&) = delete;
    WhisperAudioCapture& operator=(const WhisperAudioCapture&) = delete;

    // On the audio thread: copies the buffer and queues its conversion; a buffer that cannot
    // be copied is dropped.
    void append(const platform::AudioBuffer& buffer);
    // Sends what the converter still holds, then "whisper_finish"; once.
    void finish();
    // Nothing more is sent, not even "whisper_finish".
    void cancel();

  private:
    void send(const std::vector<float>& samples);

    std::unique_ptr<platform::AudioConverter> converter_;
    const std::uint64_t id_;
    std::function<void(const json::Document&)> sendEvent_;
    // Touched only on the worker.
    bool active_ = true;
    // Declared last: it finishes the queued work while everything above is still there.
    ThreadPool queue_{1, "com.vantor.whisper-audio"};
};

}  // namespace lumora
