// One utterance decoded by pocketsphinx from 16 kHz mono audio, which it takes as 16-bit
// samples: the best hypothesis so far while audio arrives, the final one once it ends, each
// with its words' times. While audio arrives, pocketsphinx normalises each frame by a running
// cepstral mean that starts from the model's prior and moves only after eight seconds, so
// the first seconds of every recording are heard as through another microphone (a short
// request can be lost whole); the final hypothesis therefore comes from the whole utterance
// decoded again at once, normalised by its own mean, exactly as a file of it decodes. One
// thread uses a decoder.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/pocketsphinx_model.h"

struct ps_decoder_s;
struct cmd_ln_s;

namespace lumora::platform {

struct RecognizedWord {
    std::string text;
    // Seconds from the start of the utterance.
    double start = 0;
    double duration = 0;
};

struct Hypothesis {
    std::string text;
    std::vector<RecognizedWord> words;
};

class PocketsphinxDecoder {
  public:
    static constexpr double sampleRate = 16000;

    // None when the model does not load.
    static std::unique_ptr<PocketsphinxDecoder> load(const PocketsphinxModel& model);
    ~PocketsphinxDecoder();
    PocketsphinxDecoder(const PocketsphinxDecoder&) = delete;
    PocketsphinxDecoder& operator=(const PocketsphinxDecoder&) = delete;

    // Float samples in [-1, 1]; louder ones are clipped. Throws lumora::Error when the decoder
    // fails.
    void process(std::span<const float> samples);
    // The audio has ended: decodes it all again, at about a sixth of its duration; the
    // hypothesis is final from now on. Throws lumora::Error when the decoder fails.
    void finish();
    Hypothesis hypothesis();

  private:
    PocketsphinxDecoder(cmd_ln_s* configuration, ps_decoder_s* decoder);

    cmd_ln_s* configuration_;
    ps_decoder_s* decoder_;
    double framesPerSecond_;
    std::vector<std::int16_t> pcm_;
    std::vector<std::int16_t> utterance_;  // everything processed so far
};

}  // namespace lumora::platform
