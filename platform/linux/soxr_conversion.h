// Microphone audio to 16 kHz mono float with libsoxr: high quality, one thread, streaming, so
// the filter state carries across buffers and the tail comes out when the input ends.
#pragma once

#include <memory>

#include "platform/audio.h"

namespace lumora::platform {

class SoxrConversion final : public AudioConversion {
  public:
    // What a converter that fails throws, as lumora::Error.
    static constexpr const char* failedDescription = "Could not convert microphone audio.";

    // None for a format without channels or with a rate outside 1 kHz to 768 kHz.
    std::unique_ptr<AudioConverter> createConverter(AudioFormat input) override;
};

}  // namespace lumora::platform
