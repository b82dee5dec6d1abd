// One recognition task on a worker thread of its own: the recogniser's decoding runs there,
// reading the request's queued audio and reporting results, and any failure it throws becomes
// the task's error. The handler is called on the worker, never after cancel has returned; it
// may cancel the task but not destroy it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/linux/queued_audio_request.h"
#include "platform/speech.h"

namespace lumora::platform {

// What the recognisers' decodings share.
namespace RecognitionFailures {
inline constexpr const char* modelUnloadable = "The speech recognition model could not be loaded.";
inline constexpr int decodingFailedCode = 4;
inline constexpr const char* decodingFailed = "The speech recognizer could not decode the audio.";
}  // namespace RecognitionFailures

// About the pace of the microphone's buffers (1,024 frames last 21 ms at 48 kHz).
inline constexpr std::chrono::milliseconds audioCollectionInterval{20};

class RecognitionWorker final : public RecognitionTask {
  public:
    using Decoding = std::function<void(RecognitionWorker& worker)>;

    RecognitionWorker(std::shared_ptr<QueuedAudioRequest> request, RecognitionHandler handler,
                      Decoding decoding);
    // Cancels, then waits for the worker, which stops at its next buffer or, in the middle of a
    // decode, when the recogniser next looks (whisper.cpp between its passes).
    ~RecognitionWorker() override;
    RecognitionWorker(const RecognitionWorker&) = delete;
    RecognitionWorker& operator=(const RecognitionWorker&) = delete;

    void cancel() override;

    // For the decoding, on the worker.
    QueuedAudioRequest& request() { return *request_; }
    bool isCancelled();
    void report(const std::optional<RecognitionResult>& result,
                const std::optional<std::string>& error);

  private:
    void run();

    const std::shared_ptr<QueuedAudioRequest> request_;
    const RecognitionHandler handler_;
    const Decoding decoding_;
    // Held while the handler runs, so that nothing is reported once cancel has returned;
    // recursive, since the handler may cancel.
    std::recursive_mutex reportMutex_;
    bool cancelled_ = false;
    // Declared last: it starts once everything above exists.
    std::thread worker_;
};

// A recogniser whose tasks are workers running `decoding` over a queued request.
class QueuedAudioRecognizer final : public SpeechRecognizer {
  public:
    QueuedAudioRecognizer(bool available, RecognitionWorker::Decoding decoding)
        : available_(available), decoding_(std::move(decoding)) {}

    bool isAvailable() override { return available_; }
    bool supportsOnDeviceRecognition() override { return true; }
    std::shared_ptr<RecognitionRequest> makeRequest() override;
    // Throws std::invalid_argument for a request another recogniser made.
    std::unique_ptr<RecognitionTask> start(std::shared_ptr<RecognitionRequest> request,
                                           RecognitionHandler handler) override;

  private:
    const bool available_;
    const RecognitionWorker::Decoding decoding_;
};

}  // namespace lumora::platform
