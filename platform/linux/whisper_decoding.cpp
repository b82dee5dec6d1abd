#include "platform/linux/whisper_decoding.h"

#include <whisper.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/linux/tap_conversion.h"
#include "runtime/error.h"

namespace lumora::platform {
namespace {

constexpr std::size_t samplesPerSecond = WHISPER_SAMPLE_RATE;
// Whisper says little of less than half a second, and a new partial result for less than a
// quarter second more would cost a decode for a word at most.
constexpr std::size_t firstPartialSamples = samplesPerSecond / 2;
constexpr std::size_t partialStepSamples = samplesPerSecond / 4;
// The encoder's frames are 20 ms; thirty seconds fill its whole window.
constexpr std::size_t samplesPerEncoderFrame = samplesPerSecond / 50;
constexpr std::size_t fullWindowSamples = 30 * samplesPerSecond;
// Fast speech runs at five or six tokens a second; a decode that goes on much longer is a model
// repeating itself, which only costs time.
constexpr int minTokenLimit = 16;
constexpr double maxTokensPerSecond = 8;

Error decodingFailure() {
    return Error("Lumora", RecognitionFailures::decodingFailedCode,
                 RecognitionFailures::decodingFailed);
}

struct StateDeleter {
    void operator()(whisper_state* state) const { whisper_free_state(state); }
};

// What ends a decode early: the task's cancel, and for a partial one the end of the audio,
// after which only the final decode matters.
struct Abandon {
    RecognitionWorker& worker;
    bool partial;
    bool operator()() { return worker.isCancelled() || (partial && worker.request().closing()); }
};

// The decoding's settings for one stretch of audio.
struct Decode {
    const WhisperModel& model;
    whisper_state* state;
    const std::string& language;
    int threads;
};

whisper_full_params decodingParameters(const Decode& decode, std::size_t samples,
                                       Abandon& abandon) {
    whisper_full_params parameters = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    parameters.n_threads = decode.threads;
    parameters.language = decode.language.c_str();
    parameters.no_context = true;
    // A request is one utterance: one segment a window, without timestamp tokens, so that the
    // window is decoded once. With timestamps Whisper cuts it where a segment ends and encodes
    // the rest again.
    parameters.single_segment = true;
    parameters.no_timestamps = true;
    parameters.print_progress = false;
    parameters.print_realtime = false;
    parameters.print_timestamps = false;
    parameters.print_special = false;
    parameters.suppress_blank = true;
    parameters.suppress_nst = true;
    parameters.temperature = 0;
    parameters.temperature_inc = 0;
    const double seconds = static_cast<double>(samples) / samplesPerSecond;
    parameters.max_tokens =
        static_cast<int>(std::ceil(minTokenLimit + seconds * maxTokensPerSecond));
    if (samples < fullWindowSamples) {
        parameters.audio_ctx =
            static_cast<int>((samples + samplesPerEncoderFrame - 1) / samplesPerEncoderFrame);
    }
    parameters.abort_callback = [](void* data) { return (*static_cast<Abandon*>(data))(); };
    parameters.abort_callback_user_data = &abandon;
    return parameters;
}

// The transcript of `samples`, or none when the decode was abandoned.
std::optional<RecognitionResult> transcribe(const Decode& decode, const std::vector<float>& samples,
                                            bool final, RecognitionWorker& worker) {
    Abandon abandon{worker, !final};
    whisper_full_params parameters = decodingParameters(decode, samples.size(), abandon);
    whisper_state* state = decode.state;
    const int status = whisper_full_with_state(decode.model.context(), state, parameters,
                                               samples.data(), static_cast<int>(samples.size()));
    if (abandon()) return std::nullopt;
    if (status != 0) throw decodingFailure();
    RecognitionResult result;
    std::string text;
    // Without timestamp tokens a segment is what one window of the audio said, ending where
    // the window does (Whisper's times are in hundredths of a second); windows that said
    // nothing leave none. Only the final result has times, as the platform's recogniser gives
    // them.
    const double heard = static_cast<double>(samples.size()) / samplesPerSecond;
    double previousEnd = 0;
    for (int i = 0; i < whisper_full_n_segments_from_state(state); ++i) {
        text += whisper_full_get_segment_text_from_state(state, i);
        if (!final) continue;
        const double end = std::clamp(whisper_full_get_segment_t1_from_state(state, i) / 100.0,
                                      previousEnd, heard);
        result.segments.push_back({previousEnd, end - previousEnd});
        previousEnd = end;
    }
    const std::size_t first = text.find_first_not_of(' ');
    result.formattedString = first == std::string::npos ? "" : text.substr(first);
    result.isFinal = final;
    // The final result closes the one utterance a request is.
    result.hasSpeechRecognitionMetadata = final;
    return result;
}

}  // namespace

void silenceWhisperLogging() {
    static std::once_flag silenced;
    std::call_once(silenced,
                   [] { whisper_log_set([](ggml_log_level, const char*, void*) {}, nullptr); });
}

std::shared_ptr<WhisperModel> WhisperModel::load(const std::string& path) {
    silenceWhisperLogging();
    whisper_context_params parameters = whisper_context_default_params();
    parameters.use_gpu = false;
    whisper_context* context =
        whisper_init_from_file_with_params_no_state(path.c_str(), parameters);
    if (context == nullptr) return nullptr;
    return std::shared_ptr<WhisperModel>(new WhisperModel(context));
}

WhisperModel::~WhisperModel() {
    whisper_free(context_);
}

void decodeWithWhisper(const WhisperModel& model, const std::string& language, int threads,
                       RecognitionWorker& worker) {
    std::unique_ptr<whisper_state, StateDeleter> state(whisper_init_state(model.context()));
    if (!state) throw decodingFailure();
    const Decode decode{model, state.get(), language, threads};
    TapConversion input;
    std::vector<float> heard;
    std::size_t decodedUpTo = 0;
    std::string partial;
    while (true) {
        QueuedAudioRequest::Collected audio = worker.request().collect(audioCollectionInterval);
        for (const AudioBuffer& buffer : audio.buffers) {
            const std::vector<float> converted = input.add(buffer);
            heard.insert(heard.end(), converted.begin(), converted.end());
        }
        if (audio.cancelled || worker.isCancelled()) return;
        if (audio.ended) {
            const std::vector<float> tail = input.finish();
            heard.insert(heard.end(), tail.begin(), tail.end());
            if (auto final = transcribe(decode, heard, true, worker)) {
                worker.report(*final, std::nullopt);
            }
            return;
        }
        // Once the audio has ended only the final decode matters.
        if (heard.size() < firstPartialSamples || heard.size() < decodedUpTo + partialStepSamples ||
            worker.request().closing()) {
            continue;
        }
        decodedUpTo = heard.size();
        std::optional<RecognitionResult> result = transcribe(decode, heard, false, worker);
        if (result && !result->formattedString.empty() && result->formattedString != partial) {
            partial = result->formattedString;
            worker.report(*result, std::nullopt);
        }
    }
}

}  // namespace lumora::platform
