#include "platform/linux/pocketsphinx_task.h"

#include <pthread.h>

#include <exception>

#include "platform/linux/pocketsphinx_decoder.h"
#include "platform/linux/soxr_conversion.h"
#include "runtime/error.h"

namespace lumora::platform {

namespace {

constexpr const char* workerName = "lumora.speech";
constexpr const char* modelUnloadable = "The speech recognition model could not be loaded.";
constexpr const char* failed = "Speech recognition stopped unexpectedly.";
// About the pace of the microphone's buffers (1,024 frames last 21 ms at 48 kHz).
constexpr std::chrono::milliseconds collectionInterval{20};

// The tap's audio as the decoder takes it: 16 kHz mono, through the conversion port.
class DecoderInput {
  public:
    explicit DecoderInput(PocketsphinxDecoder& decoder) : decoder_(decoder) {}

    // Throws lumora::Error when the buffer cannot be converted.
    void add(const AudioBuffer& buffer) {
        if (!converter_ || buffer.format != format_) {
            finish();
            converter_ = conversion_.createConverter(buffer.format);
            if (!converter_) throw Error("Lumora", 3, SoxrConversion::failedDescription);
            format_ = buffer.format;
        }
        decoder_.process(converter_->convert(buffer));
    }

    // What the converter still holds.
    void finish() {
        if (converter_) decoder_.process(converter_->flush());
    }

  private:
    PocketsphinxDecoder& decoder_;
    SoxrConversion conversion_;
    std::unique_ptr<AudioConverter> converter_;
    AudioFormat format_;
};

RecognitionResult resultOf(const Hypothesis& hypothesis, bool final) {
    RecognitionResult result;
    result.formattedString = hypothesis.text;
    for (const RecognizedWord& word : hypothesis.words) {
        result.segments.push_back({word.start, word.duration});
    }
    result.isFinal = final;
    // The final result closes the one utterance a request is.
    result.hasSpeechRecognitionMetadata = final;
    return result;
}

}  // namespace

PocketsphinxTask::PocketsphinxTask(PocketsphinxModel model,
                                   std::shared_ptr<PocketsphinxRequest> request,
                                   RecognitionHandler handler)
    : model_(std::move(model)),
      request_(std::move(request)),
      handler_(std::move(handler)),
      worker_([this] { recognize(); }) {
    ::pthread_setname_np(worker_.native_handle(), workerName);
}

PocketsphinxTask::~PocketsphinxTask() {
    cancel();
    worker_.join();
}

void PocketsphinxTask::cancel() {
    {
        std::lock_guard lock(reportMutex_);
        cancelled_ = true;
    }
    request_->cancel();
}

bool PocketsphinxTask::isCancelled() {
    std::lock_guard lock(reportMutex_);
    return cancelled_;
}

void PocketsphinxTask::report(const std::optional<RecognitionResult>& result,
                              const std::optional<std::string>& error) {
    std::lock_guard lock(reportMutex_);
    if (!cancelled_) handler_(result, error);
}

void PocketsphinxTask::recognize() {
    try {
        decode();
    } catch (const Error& error) {
        report(std::nullopt, error.description);
    } catch (const std::exception&) {
        report(std::nullopt, failed);
    }
    // Audio that arrives once the worker is done would only pile up.
    request_->cancel();
}

void PocketsphinxTask::decode() {
    // Loaded here rather than in start, so that the caller never waits for the model; the
    // audio queues meanwhile and is decoded faster than it is spoken.
    std::unique_ptr<PocketsphinxDecoder> decoder = PocketsphinxDecoder::load(model_);
    if (!decoder) {
        report(std::nullopt, modelUnloadable);
        return;
    }
    DecoderInput input(*decoder);
    std::string partial;
    while (true) {
        PocketsphinxRequest::Collected audio = request_->collect(collectionInterval);
        for (const AudioBuffer& buffer : audio.buffers) {
            if (isCancelled()) return;
            input.add(buffer);
        }
        if (audio.cancelled) return;
        if (audio.ended) {
            input.finish();
            decoder->finish();
            report(resultOf(decoder->hypothesis(), true), std::nullopt);
            return;
        }
        Hypothesis best = decoder->hypothesis();
        if (!best.text.empty() && best.text != partial) {
            partial = best.text;
            report(resultOf(best, false), std::nullopt);
        }
    }
}

}  // namespace lumora::platform
