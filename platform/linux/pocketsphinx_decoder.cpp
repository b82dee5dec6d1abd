#include "platform/linux/pocketsphinx_decoder.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/linux/recognition_worker.h"
#include "runtime/error.h"

namespace lumora::platform {

namespace {

using RecognitionFailures::decodingFailed;
using RecognitionFailures::decodingFailedCode;

// Pocketsphinx writes its progress to standard error, and its log file is one for the whole
// process, replaced (and the old one closed) by every decoder that names one: so no decoder
// names one, and logging is switched off once, before the first decoder exists.
void silenceLogging() {
    static std::once_flag silenced;
    std::call_once(silenced, [] { err_set_logfp(nullptr); });
}

// Fillers ("<s>", "<sil>", "[NOISE]") are not words of the transcript.
bool isFiller(const char* word) {
    return word[0] == '<' || word[0] == '[';
}

// An alternative pronunciation is marked "word(2)".
std::string baseWord(const char* word) {
    std::string text(word);
    const std::size_t mark = text.find('(');
    return mark == std::string::npos ? text : text.substr(0, mark);
}

}  // namespace

std::unique_ptr<PocketsphinxDecoder> PocketsphinxDecoder::load(const PocketsphinxModel& model) {
    silenceLogging();
    // Tuned for dictation as it is spoken, at the price of about one word in fifty: the
    // flat-lexicon pass, which runs over the whole utterance after it ends, is off; at most ten
    // words may end in a frame, which keeps the lattice searched for the final result small
    // (its search took a quarter of a second after ten seconds of speech); at most 10,000 HMMs
    // are searched per frame. Decoding takes well under a third of the audio's time. Silence is
    // not cut out before decoding: the detector's noise floor is learnt from what it heard
    // before, so the same audio decoded twice (the live pass, then the whole utterance) came
    // out differently.
    cmd_ln_t* configuration =
        cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model.acousticModel.c_str(), "-lm",
                    model.languageModel.c_str(), "-dict", model.dictionary.c_str(), "-fwdflat",
                    "no", "-maxwpf", "10", "-maxhmmpf", "10000", "-remove_silence", "no", nullptr);
    if (!configuration) return nullptr;
    ps_decoder_t* decoder = ps_init(configuration);
    if (!decoder || ps_start_utt(decoder) < 0) {
        if (decoder) ps_free(decoder);
        cmd_ln_free_r(configuration);
        return nullptr;
    }
    return std::unique_ptr<PocketsphinxDecoder>(new PocketsphinxDecoder(configuration, decoder));
}

PocketsphinxDecoder::PocketsphinxDecoder(cmd_ln_s* configuration, ps_decoder_s* decoder)
    : configuration_(configuration),
      decoder_(decoder),
      framesPerSecond_(static_cast<double>(cmd_ln_int32_r(configuration, "-frate"))) {}

PocketsphinxDecoder::~PocketsphinxDecoder() {
    ps_free(decoder_);
    cmd_ln_free_r(configuration_);
}

void PocketsphinxDecoder::process(std::span<const float> samples) {
    if (samples.empty()) return;
    pcm_.resize(samples.size());
    std::transform(samples.begin(), samples.end(), pcm_.begin(), [](float sample) {
        return static_cast<std::int16_t>(std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767));
    });
    if (ps_process_raw(decoder_, pcm_.data(), pcm_.size(), FALSE, FALSE) < 0) {
        throw Error("Lumora", decodingFailedCode, decodingFailed);
    }
    utterance_.insert(utterance_.end(), pcm_.begin(), pcm_.end());
}

void PocketsphinxDecoder::finish() {
    if (ps_end_utt(decoder_) < 0 || ps_start_utt(decoder_) < 0 ||
        ps_process_raw(decoder_, utterance_.data(), utterance_.size(), FALSE, TRUE) < 0 ||
        ps_end_utt(decoder_) < 0) {
        throw Error("Lumora", decodingFailedCode, decodingFailed);
    }
}

Hypothesis PocketsphinxDecoder::hypothesis() {
    Hypothesis best;
    std::int32_t score = 0;
    if (const char* text = ps_get_hyp(decoder_, &score)) best.text = text;
    for (ps_seg_t* segment = ps_seg_iter(decoder_); segment; segment = ps_seg_next(segment)) {
        const char* word = ps_seg_word(segment);
        if (isFiller(word)) continue;
        int first = 0;
        int last = 0;
        ps_seg_frames(segment, &first, &last);
        best.words.push_back(
            {baseWord(word), first / framesPerSecond_, (last - first + 1) / framesPerSecond_});
    }
    return best;
}

}  // namespace lumora::platform
