// The contract of the audio conversion port, for every implementation: microphone audio of any
// usable rate comes out at 16 kHz with the same pitch and loudness, the whole recording's
// length, and no seams where the microphone's buffers met.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/linux/soxr_conversion.h"

namespace lumora::platform {
namespace {

constexpr double outputRate = 16000;

// `seconds` of a sine at `hertz`, amplitude 0.5, on every channel.
AudioBuffer tone(double rate, std::uint32_t channels, double hertz, double seconds) {
    AudioBuffer buffer{{rate, channels}, {}};
    std::vector<float> samples(static_cast<std::size_t>(rate * seconds));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hertz * i / rate));
    }
    buffer.channels.assign(channels, samples);
    return buffer;
}

// The signal in buffers of the tap's 1,024 frames, the last one short.
std::vector<float> convertInBuffers(AudioConverter& converter, const AudioBuffer& whole) {
    std::vector<float> output;
    const std::size_t frames = whole.frameCount();
    for (std::size_t at = 0; at < frames; at += 1024) {
        AudioBuffer piece{whole.format, {}};
        for (const auto& channel : whole.channels) {
            piece.channels.emplace_back(channel.begin() + at,
                                        channel.begin() + std::min(frames, at + 1024));
        }
        std::vector<float> converted = converter.convert(piece);
        output.insert(output.end(), converted.begin(), converted.end());
    }
    std::vector<float> tail = converter.flush();
    output.insert(output.end(), tail.begin(), tail.end());
    return output;
}

template <class Conversion>
class AudioConversionContract : public testing::Test {
  protected:
    Conversion conversion;
};

using Implementations = testing::Types<SoxrConversion>;
TYPED_TEST_SUITE(AudioConversionContract, Implementations);

TYPED_TEST(AudioConversionContract, KeepsPitchLoudnessAndLengthWithoutSeams) {
    for (double rate : {48000.0, 44100.0}) {
        SCOPED_TRACE(rate);
        const AudioBuffer signal = tone(rate, 2, 440, 2.0);
        auto streamed = this->conversion.createConverter(signal.format);
        auto oneShot = this->conversion.createConverter(signal.format);
        ASSERT_TRUE(streamed && oneShot);
        const std::vector<float> output = convertInBuffers(*streamed, signal);
        std::vector<float> whole = oneShot->convert(signal);
        std::vector<float> tail = oneShot->flush();
        whole.insert(whole.end(), tail.begin(), tail.end());

        EXPECT_NEAR(static_cast<double>(output.size()), 2.0 * outputRate, 1024 * outputRate / rate);
        ASSERT_EQ(output.size(), whole.size());
        for (std::size_t i = 0; i < output.size(); ++i) {
            ASSERT_NEAR(output[i], whole[i], 1e-5) << "sample " << i;
        }
        // The steady middle second: its peak and its zero crossings.
        float peak = 0;
        int crossings = 0;
        for (std::size_t i = 8000; i < 24000; ++i) {
            peak = std::max(peak, std::abs(output[i]));
            crossings += (output[i - 1] < 0) != (output[i] < 0);
        }
        EXPECT_NEAR(peak, 0.5, 0.01);
        EXPECT_NEAR(crossings / 2.0, 440, 1);
    }
}

// Each microphone buffer comes out as its own share of 16 kHz audio, not in bursts that lag it.
TYPED_TEST(AudioConversionContract, EachBufferYieldsItsShareAtOnce) {
    for (double rate : {8000.0, 44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        const AudioBuffer piece = tone(rate, 1, 440, 1024 / rate);
        auto converter = this->conversion.createConverter(piece.format);
        ASSERT_TRUE(converter);
        (void)converter->convert(piece);  // the first fills the filter
        for (int buffer = 1; buffer < 20; ++buffer) {
            EXPECT_NEAR(static_cast<double>(converter->convert(piece).size()),
                        1024 * outputRate / rate, 1.0)
                << "buffer " << buffer;
        }
    }
}

TYPED_TEST(AudioConversionContract, RefusesFormatsItCannotConvert) {
    for (AudioFormat format : {AudioFormat{0, 1}, AudioFormat{48000, 0}, AudioFormat{1e9, 1}}) {
        EXPECT_FALSE(this->conversion.createConverter(format)) << format.sampleRate;
    }
}

}  // namespace
}  // namespace lumora::platform
