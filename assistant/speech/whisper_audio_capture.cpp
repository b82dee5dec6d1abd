#include "assistant/speech/whisper_audio_capture.h"

#include <cstring>
#include <new>

#include "assistant/host/event_output.h"
#include "runtime/base64.h"
#include "runtime/error.h"

namespace lumora {

namespace {

constexpr const char* unprepared = "Could not prepare the microphone for Whisper.";
constexpr const char* unconvertible = "Could not convert microphone audio.";

// The samples as 32-bit IEEE floats in the machine's byte order, which is little-endian here.
std::string bytesOf(const std::vector<float>& samples) {
    std::string bytes(samples.size() * sizeof(float), '\0');
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

}  // namespace

WhisperAudioCapture::WhisperAudioCapture(platform::AudioFormat input, std::uint64_t id,
                                         platform::AudioConversion& conversion,
                                         std::function<void(const json::Document&)> sendEvent)
    : converter_(conversion.createConverter(input)),
      id_(id),
      sendEvent_(sendEvent ? std::move(sendEvent)
                           : [](const json::Document& event) { emit(event); }) {
    if (!converter_) throw Error("Lumora", 1, unprepared);
}

WhisperAudioCapture::~WhisperAudioCapture() = default;

void WhisperAudioCapture::append(const platform::AudioBuffer& buffer) {
    std::shared_ptr<platform::AudioBuffer> copy;
    try {
        copy = std::make_shared<platform::AudioBuffer>(buffer);
    } catch (const std::bad_alloc&) {
        return;
    }
    queue_.submit([this, copy] {
        if (!active_) return;
        try {
            send(converter_->convert(*copy));
        } catch (const Error&) {
            active_ = false;
            sendEvent_(
                {{"id", id_}, {"phase", "whisper_capture_error"}, {"message", unconvertible}});
        }
    });
}

void WhisperAudioCapture::finish() {
    queue_.submit([this] {
        if (!active_) return;
        active_ = false;
        try {
            send(converter_->flush());
        } catch (const Error&) {
            // The tail is lost; the app still learns that the recording is over.
        }
        sendEvent_({{"id", id_}, {"phase", "whisper_finish"}});
    });
}

void WhisperAudioCapture::cancel() {
    queue_.submit([this] { active_ = false; });
}

void WhisperAudioCapture::send(const std::vector<float>& samples) {
    if (samples.empty()) return;
    sendEvent_(
        {{"id", id_}, {"phase", "whisper_audio"}, {"audio", base64::encode(bytesOf(samples))}});
}

}  // namespace lumora
