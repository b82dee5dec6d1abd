#include "platform/linux/recognition_worker.h"

#include <pthread.h>

#include <exception>
#include <stdexcept>

#include "runtime/error.h"

namespace lumora::platform {

namespace {

constexpr const char* workerName = "lumora.speech";
constexpr const char* failed = "Speech recognition stopped unexpectedly.";

}  // namespace

RecognitionWorker::RecognitionWorker(std::shared_ptr<QueuedAudioRequest> request,
                                     RecognitionHandler handler, Decoding decoding)
    : request_(std::move(request)),
      handler_(std::move(handler)),
      decoding_(std::move(decoding)),
      worker_([this] { run(); }) {
    ::pthread_setname_np(worker_.native_handle(), workerName);
}

RecognitionWorker::~RecognitionWorker() {
    cancel();
    worker_.join();
}

void RecognitionWorker::cancel() {
    {
        std::lock_guard lock(reportMutex_);
        cancelled_ = true;
    }
    request_->cancel();
}

bool RecognitionWorker::isCancelled() {
    std::lock_guard lock(reportMutex_);
    return cancelled_;
}

void RecognitionWorker::report(const std::optional<RecognitionResult>& result,
                               const std::optional<std::string>& error) {
    std::lock_guard lock(reportMutex_);
    if (!cancelled_) handler_(result, error);
}

void RecognitionWorker::run() {
    try {
        decoding_(*this);
    } catch (const Error& error) {
        report(std::nullopt, error.description);
    } catch (const std::exception&) {
        report(std::nullopt, failed);
    }
    // Audio that arrives once the worker is done would only pile up.
    request_->cancel();
}

std::shared_ptr<RecognitionRequest> QueuedAudioRecognizer::makeRequest() {
    return std::make_shared<QueuedAudioRequest>();
}

std::unique_ptr<RecognitionTask> QueuedAudioRecognizer::start(
    std::shared_ptr<RecognitionRequest> request, RecognitionHandler handler) {
    auto ours = std::dynamic_pointer_cast<QueuedAudioRequest>(std::move(request));
    if (!ours) throw std::invalid_argument("The request was not made by this recognizer");
    return std::make_unique<RecognitionWorker>(std::move(ours), std::move(handler), decoding_);
}

}  // namespace lumora::platform
