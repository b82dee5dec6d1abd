// Streams one recording's microphone audio to the app, which runs Whisper: every buffer is
// converted to 16 kHz mono float and sent as a base64 "whisper_audio" event, in order, then
// "whisper_finish". The audio thread only copies and queues; conversion, encoding and the
// events run on one serial worker of the capture's own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "runtime/json.h"

namespace lumora {

class WhisperAudioCapture {
  public:
    // Throws lumora::Error ("Lumora", 1, "Could not prepare the microphone for Whisper.")
    // when `input` cannot be converted. Events go to `sendEvent`, the event writer by default.
    WhisperAudioCapture(platform::AudioFormat input, std::uint64_t id,
                        platform::AudioConversion& conversion,
                        std::function<void(const json::Document&)> sendEvent = {});
    // Sends what is already queued, without "whisper_finish" unless `finish` came first.
    ~WhisperAudioCapture();
    WhisperAudioCapture(const WhisperAudioCapture&) = delete;
    WhisperAudioCapture& operator=(const WhisperAudioCapture&) = delete;

    // On the audio thread: copies the buffer's first channel, the only one converted, and
    // queues it; a buffer that cannot be copied is dropped.
    void append(const platform::AudioBuffer& buffer);
    // Sends what the converter still holds, then "whisper_finish"; once.
    void finish();
    // Nothing more is sent once this returns, not even "whisper_finish", and audio still
    // queued is dropped.
    void cancel();

  private:
    // How the queue ends; the first request wins.
    enum class Ending { none, finish, cancel, close };

    void end(Ending ending);
    void drain();
    // False when conversion failed or the capture was cancelled: nothing more may be sent.
    bool convert(const std::vector<platform::AudioBuffer>& buffers);
    bool sendAudio(const std::vector<float>& samples);
    // Sends the event unless the capture was cancelled; false when it was.
    bool post(const json::Document& event);

    std::unique_ptr<platform::AudioConverter> converter_;
    const std::uint64_t id_;
    std::function<void(const json::Document&)> sendEvent_;

    std::mutex mutex_;
    std::condition_variable ended_;
    // First channels only.
    std::vector<platform::AudioBuffer> queued_;
    Ending ending_ = Ending::none;
    // Held while an event is sent, so that none leaves once `cancel` has returned.
    std::mutex sendMutex_;
    bool cancelled_ = false;
    // Declared last: it starts once everything above exists.
    std::thread worker_;
};

}  // namespace lumora
