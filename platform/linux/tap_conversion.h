// The microphone tap's audio as the recognisers take it: 16 kHz mono float through the
// conversion port, a new converter whenever the tap's format changes (the old one's tail
// flushed first).
#pragma once

#include <memory>
#include <vector>

#include "platform/audio.h"
#include "platform/linux/soxr_conversion.h"

namespace lumora::platform {

class TapConversion {
  public:
    // The converted samples of `buffer`, with the tail of a converter its format replaces.
    // Throws lumora::Error when the buffer cannot be converted.
    std::vector<float> add(const AudioBuffer& buffer);
    // What the converter still holds, at the end of the audio.
    std::vector<float> finish();

  private:
    SoxrConversion conversion_;
    std::unique_ptr<AudioConverter> converter_;
    AudioFormat format_;
};

}  // namespace lumora::platform
