// The sound server's interleaved samples become tap buffers of exactly the tap's size, channel
// by channel, whatever sizes the server's pieces come in.
#include "platform/linux/pulse_buffer_assembly.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumora::platform {
namespace {

constexpr std::uint32_t frames = 4;

// Sample value for frame `frame` of channel `channel`, so that any misplaced sample shows.
float sampleOf(std::size_t frame, std::size_t channel) {
    return static_cast<float>(frame * 10 + channel + 1);
}

std::vector<float> interleaved(std::size_t firstFrame, std::size_t count, std::size_t channels) {
    std::vector<float> samples;
    for (std::size_t frame = firstFrame; frame < firstFrame + count; ++frame) {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            samples.push_back(sampleOf(frame, channel));
        }
    }
    return samples;
}

TEST(PulseBufferAssemblyTest, PiecesOfAnySizeBecomeWholeBuffersChannelByChannel) {
    const AudioFormat stereo{48000, 2};
    std::vector<AudioBuffer> delivered;
    PulseBufferAssembly assembly(stereo, frames,
                                 [&](const AudioBuffer& buffer) { delivered.push_back(buffer); });
    // Eleven frames in pieces that end inside a frame and inside a buffer.
    const std::vector<float> samples = interleaved(0, 11, 2);
    assembly.add({samples.data(), 3});
    assembly.add({samples.data() + 3, 10});
    assembly.add({samples.data() + 13, samples.size() - 13});

    ASSERT_EQ(delivered.size(), 2u);  // the eleventh frame waits for its buffer to fill
    for (std::size_t buffer = 0; buffer < delivered.size(); ++buffer) {
        EXPECT_EQ(delivered[buffer].format, stereo);
        ASSERT_EQ(delivered[buffer].channels.size(), 2u);
        for (std::size_t channel = 0; channel < 2; ++channel) {
            ASSERT_EQ(delivered[buffer].channels[channel].size(), frames);
            for (std::size_t frame = 0; frame < frames; ++frame) {
                EXPECT_EQ(delivered[buffer].channels[channel][frame],
                          sampleOf(buffer * frames + frame, channel))
                    << "buffer " << buffer << " channel " << channel << " frame " << frame;
            }
        }
    }
}

TEST(PulseBufferAssemblyTest, LostAudioIsSilenceThatKeepsTheChannelsInStep) {
    std::vector<AudioBuffer> delivered;
    PulseBufferAssembly assembly({44100, 2}, frames,
                                 [&](const AudioBuffer& buffer) { delivered.push_back(buffer); });
    const std::vector<float> before = interleaved(0, 1, 2);
    assembly.add(before);
    assembly.addSilence(4);  // two frames
    const std::vector<float> after = interleaved(3, 1, 2);
    assembly.add(after);

    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].channels[0], (std::vector<float>{sampleOf(0, 0), 0, 0, sampleOf(3, 0)}));
    EXPECT_EQ(delivered[0].channels[1], (std::vector<float>{sampleOf(0, 1), 0, 0, sampleOf(3, 1)}));
}

}  // namespace
}  // namespace lumora::platform
