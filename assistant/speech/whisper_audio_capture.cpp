#include "assistant/speech/whisper_audio_capture.h"

#include <pthread.h>

#include <chrono>
#include <cstring>
#include <new>

#include "assistant/host/event_output.h"
#include "runtime/base64.h"
#include "runtime/error.h"

namespace lumora {

namespace {

// The worker's name, cut to the 15 characters the system keeps for a thread.
constexpr const char* workerName = "com.vantor.whis";
constexpr const char* unprepared = "Could not prepare the microphone for Whisper.";
constexpr const char* unconvertible = "Could not convert microphone audio.";

// The worker collects the queue at about the microphone's own pace instead of being woken for
// every buffer: waking a thread is a system call, the dearest part of the audio thread's work.
constexpr std::chrono::milliseconds collectionInterval{20};

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
    worker_ = std::thread([this] { drain(); });
    ::pthread_setname_np(worker_.native_handle(), workerName);
}

WhisperAudioCapture::~WhisperAudioCapture() {
    end(Ending::close);
    worker_.join();
}

void WhisperAudioCapture::append(const platform::AudioBuffer& buffer) {
    if (buffer.channels.empty()) return;
    platform::AudioBuffer copy{{buffer.format.sampleRate, 1}, {}};
    try {
        copy.channels.push_back(buffer.channels.front());
    } catch (const std::bad_alloc&) {
        return;
    }
    std::lock_guard lock(mutex_);
    if (ending_ != Ending::none) return;
    try {
        queued_.push_back(std::move(copy));
    } catch (const std::bad_alloc&) {
    }
}

void WhisperAudioCapture::finish() {
    end(Ending::finish);
}

void WhisperAudioCapture::cancel() {
    {
        std::lock_guard lock(sendMutex_);
        cancelled_ = true;
    }
    end(Ending::cancel);
}

void WhisperAudioCapture::end(Ending ending) {
    {
        std::lock_guard lock(mutex_);
        // A cancel overrides a finish still being sent; any other ending comes once.
        if (ending_ != Ending::none && ending != Ending::cancel) return;
        ending_ = ending;
    }
    ended_.notify_one();
}

void WhisperAudioCapture::drain() {
    bool sending = true;
    while (true) {
        std::vector<platform::AudioBuffer> collected;
        Ending ending;
        {
            std::unique_lock lock(mutex_);
            ended_.wait_for(lock, collectionInterval, [this] { return ending_ != Ending::none; });
            collected.swap(queued_);
            ending = ending_;
        }
        // A cancelled recording's audio is dropped unsent, queued or not: the app has been told
        // the recording is gone.
        if (ending == Ending::cancel) return;
        if (sending) sending = convert(collected);
        if (ending == Ending::none) continue;
        if (ending == Ending::finish && sending) {
            try {
                sending = sendAudio(converter_->flush());
            } catch (const Error&) {
                // The tail is lost; the app still learns that the recording is over.
            }
            if (sending) post({{"id", id_}, {"phase", "whisper_finish"}});
        }
        return;
    }
}

bool WhisperAudioCapture::convert(const std::vector<platform::AudioBuffer>& buffers) {
    for (const auto& buffer : buffers) {
        try {
            if (!sendAudio(converter_->convert(buffer))) return false;
        } catch (const Error&) {
            post({{"id", id_}, {"phase", "whisper_capture_error"}, {"message", unconvertible}});
            return false;
        }
    }
    return true;
}

bool WhisperAudioCapture::sendAudio(const std::vector<float>& samples) {
    if (samples.empty()) return true;
    return post(
        {{"id", id_}, {"phase", "whisper_audio"}, {"audio", base64::encode(bytesOf(samples))}});
}

bool WhisperAudioCapture::post(const json::Document& event) {
    std::lock_guard lock(sendMutex_);
    if (cancelled_) return false;
    sendEvent_(event);
    return true;
}

}  // namespace lumora
