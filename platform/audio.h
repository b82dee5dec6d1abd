// Audio input: the microphone engine with a tap on its input bus, and conversion of its
// buffers to 16 kHz mono 32-bit float.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace lumora::platform {

struct AudioFormat {
    double sampleRate = 0;
    std::uint32_t channels = 0;
    bool operator==(const AudioFormat&) const = default;
};

// Non-interleaved float samples: channels[c][frame].
struct AudioBuffer {
    AudioFormat format;
    std::vector<std::vector<float>> channels;
    std::size_t frameCount() const { return channels.empty() ? 0 : channels.front().size(); }
};

class AudioEngine {
  public:
    virtual ~AudioEngine() = default;
    // The input node's output format on bus 0.
    virtual AudioFormat inputFormat() = 0;
    // The handler runs on the audio thread.
    virtual void installTap(std::uint32_t bufferFrames, AudioFormat format,
                            std::function<void(const AudioBuffer&)> handler) = 0;
    virtual void removeTap() = 0;
    // Throws lumora::Error with the platform's description when the engine will not start.
    virtual void start() = 0;
    virtual void stop() = 0;
};

class Audio {
  public:
    virtual ~Audio() = default;
    virtual std::unique_ptr<AudioEngine> createEngine() = 0;
};

// Converts buffers of one input format, first channel only, to 16 kHz mono float. It keeps
// its filter state between buffers, so a stream converted buffer by buffer has no seams.
class AudioConverter {
  public:
    virtual ~AudioConverter() = default;
    // What the buffer adds to the output; throws lumora::Error when it cannot be converted.
    virtual std::vector<float> convert(const AudioBuffer& buffer) = 0;
    // The input has ended: what the converter still holds.
    virtual std::vector<float> flush() = 0;
};

class AudioConversion {
  public:
    virtual ~AudioConversion() = default;
    // None when no converter exists for the format.
    virtual std::unique_ptr<AudioConverter> createConverter(AudioFormat input) = 0;
};

}  // namespace lumora::platform
