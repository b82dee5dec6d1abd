// The sound server's interleaved float samples cut into tap buffers: one channel after
// another, exactly the tap's frame count each, handed over as each fills. The buffer is made
// once and refilled, so on the audio thread the work is copying samples.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "platform/audio.h"

namespace lumora::platform {

class PulseBufferAssembly {
  public:
    using Handler = std::function<void(const AudioBuffer&)>;

    // `format` has channels, and `frames` is above 0.
    PulseBufferAssembly(AudioFormat format, std::uint32_t frames, Handler handler);

    // Samples in the format's channel order; they need not end on a frame.
    void add(std::span<const float> interleaved);
    // Audio the server lost: as many samples of silence, so the stream keeps its time.
    void addSilence(std::size_t samples);

  private:
    void put(float sample);

    AudioBuffer buffer_;
    Handler handler_;
    std::size_t frame_ = 0;
    std::size_t channel_ = 0;
};

}  // namespace lumora::platform
