#include "platform/linux/pulse_buffer_assembly.h"

namespace lumora::platform {

PulseBufferAssembly::PulseBufferAssembly(AudioFormat format, std::uint32_t frames, Handler handler)
    : buffer_{format, std::vector<std::vector<float>>(format.channels, std::vector<float>(frames))},
      handler_(std::move(handler)) {}

void PulseBufferAssembly::add(std::span<const float> interleaved) {
    for (float sample : interleaved) put(sample);
}

void PulseBufferAssembly::addSilence(std::size_t samples) {
    for (std::size_t i = 0; i < samples; ++i) put(0.0f);
}

void PulseBufferAssembly::put(float sample) {
    buffer_.channels[channel_][frame_] = sample;
    if (++channel_ < buffer_.channels.size()) return;
    channel_ = 0;
    if (++frame_ < buffer_.frameCount()) return;
    frame_ = 0;
    handler_(buffer_);
}

}  // namespace lumora::platform
