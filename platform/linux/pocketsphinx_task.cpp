#include "platform/linux/pocketsphinx_task.h"

#include "platform/linux/pocketsphinx_decoder.h"
#include "platform/linux/tap_conversion.h"
#include "runtime/error.h"

namespace lumora::platform {

namespace {

RecognitionResult resultOf(const Hypothesis& hypothesis, bool final) {
    RecognitionResult result;
    result.formattedString = hypothesis.text;
    // Only the final result has times, as the platform's recogniser gives them: the final
    // pass's times are its own, and a partial result timed by the live pass could seem to the
    // transcript a stretch of speech of its own, before the final one.
    if (final) {
        for (const RecognizedWord& word : hypothesis.words) {
            result.segments.push_back({word.start, word.duration});
        }
    }
    result.isFinal = final;
    // The final result closes the one utterance a request is.
    result.hasSpeechRecognitionMetadata = final;
    return result;
}

}  // namespace

void decodeWithPocketsphinx(const PocketsphinxModel& model, RecognitionWorker& worker) {
    // Loaded here rather than in start, so that the caller never waits for the model; the
    // audio queues meanwhile and is decoded faster than it is spoken.
    std::unique_ptr<PocketsphinxDecoder> decoder = PocketsphinxDecoder::load(model);
    if (!decoder) {
        worker.report(std::nullopt, RecognitionFailures::modelUnloadable);
        return;
    }
    TapConversion input;
    std::string partial;
    while (true) {
        QueuedAudioRequest::Collected audio = worker.request().collect(audioCollectionInterval);
        for (const AudioBuffer& buffer : audio.buffers) {
            if (worker.isCancelled()) return;
            decoder->process(input.add(buffer));
        }
        if (audio.cancelled) return;
        if (audio.ended) {
            decoder->process(input.finish());
            // The second pass takes a sixth of the utterance's time: not for a cancelled one.
            if (worker.isCancelled()) return;
            decoder->finish();
            worker.report(resultOf(decoder->hypothesis(), true), std::nullopt);
            return;
        }
        Hypothesis best = decoder->hypothesis();
        if (!best.text.empty() && best.text != partial) {
            partial = best.text;
            worker.report(resultOf(best, false), std::nullopt);
        }
    }
}

}  // namespace lumora::platform
