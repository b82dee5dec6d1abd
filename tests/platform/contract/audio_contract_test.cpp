// The microphone as the assistant uses it, on both desktops: the input's format, a tap that
// hears buffers of its size in that format on the audio thread, and stopping that ends the
// tap's calls. On the real desktop also: what is played into the speaker reaches the taps, at
// its power. Recognition of what is heard, and a missing sound server, are the end-to-end
// tests' (tests/e2e/real_desktop_speech_e2e_test.cpp).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "platform/sim/realtime_microphone.h"
#include "tests/platform/contract/desktop_world.h"
#include "tests/support/spoken_phrase.h"
#include "tests/support/test_desktop.h"

namespace lumora::contract {
namespace {

using platform::AudioBuffer;
using platform::AudioFormat;

constexpr std::uint32_t tapFrames = 1024;
constexpr auto hearingTime = std::chrono::seconds(10);

// What one tap hears, from whichever thread calls it.
class HeardAudio {
  public:
    std::function<void(const AudioBuffer&)> tap() {
        return [this](const AudioBuffer& buffer) {
            double energy = 0;
            for (float sample : buffer.channels.at(0)) energy += double{sample} * sample;
            {
                std::lock_guard lock(mutex_);
                if (ended_) ++lateCalls_;
                buffers_.push_back({buffer.format, buffer.frameCount(), buffer.channels.size(),
                                    energy, std::this_thread::get_id()});
            }
            changed_.notify_all();
        };
    }

    struct Buffer {
        AudioFormat format;
        std::size_t frames;
        std::size_t channels;
        double energy;  // of the first channel
        std::thread::id thread;
    };

    bool awaitBuffers(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, hearingTime, [&] { return buffers_.size() >= count; });
    }
    std::vector<Buffer> buffers() {
        std::lock_guard lock(mutex_);
        return buffers_;
    }
    double energy() {
        double total = 0;
        for (const Buffer& buffer : buffers()) total += buffer.energy;
        return total;
    }
    // The engine has stopped: any later call is one too many.
    void end() {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    std::size_t lateCalls() {
        std::lock_guard lock(mutex_);
        return lateCalls_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Buffer> buffers_;
    bool ended_ = false;
    std::size_t lateCalls_ = 0;
};

template <class World>
class AudioContract : public ::testing::Test {
  protected:
    AudioContract() {
        // The simulated desktop's scenario needs an application; the microphone needs none.
        world->openEditors({""});
        if (sim::SimDesktop* simulated = world->simulated()) microphone.emplace(*simulated);
    }

    std::unique_ptr<DesktopWorld> world = makeWorld<World>();
    // The simulated desktop's microphone delivers in real time, as a device does.
    std::optional<sim::RealtimeMicrophone> microphone;
};

TYPED_TEST_SUITE(AudioContract, Worlds);

TYPED_TEST(AudioContract, TapsHearBuffersOfTheirSizeInTheInputFormatOnTheAudioThread) {
    auto engine = this->world->audio().createEngine();
    const AudioFormat format = engine->inputFormat();
    EXPECT_GT(format.sampleRate, 0);
    EXPECT_GT(format.channels, 0u);
    HeardAudio heard;
    engine->installTap(tapFrames, format, heard.tap());
    engine->start();
    ASSERT_TRUE(heard.awaitBuffers(10));
    engine->stop();

    for (const HeardAudio::Buffer& buffer : heard.buffers()) {
        EXPECT_EQ(buffer.format, format);
        EXPECT_EQ(buffer.frames, tapFrames);
        EXPECT_EQ(buffer.channels, format.channels);
        EXPECT_NE(buffer.thread, std::this_thread::get_id());
    }
}

TYPED_TEST(AudioContract, NoTapIsCalledOnceStopHasReturnedAndANewTapHearsTheRestart) {
    auto engine = this->world->audio().createEngine();
    const AudioFormat format = engine->inputFormat();
    HeardAudio first;
    engine->installTap(tapFrames, format, first.tap());
    engine->start();
    ASSERT_TRUE(first.awaitBuffers(3));
    engine->stop();
    first.end();

    HeardAudio second;
    engine->removeTap();
    engine->installTap(tapFrames, format, second.tap());
    engine->start();
    ASSERT_TRUE(second.awaitBuffers(3));
    engine->stop();
    EXPECT_EQ(first.lateCalls(), 0u);
}

// The real desktop's microphone, the monitor of the test desktop's speaker.
class RealMicrophone : public ::testing::Test {
  protected:
    RealMicrophone() { world->openEditors({}); }

    static const test_support::SpokenPhrase& phrase() { return test_support::testPhrase(); }

    std::unique_ptr<DesktopWorld> world = makeWorld<X11World>();
};

TEST_F(RealMicrophone, HearsWhatIsPlayedIntoTheSpeaker) {
    auto engine = world->audio().createEngine();
    const AudioFormat format = engine->inputFormat();
    HeardAudio heard;
    engine->installTap(tapFrames, format, heard.tap());
    engine->start();
    ASSERT_TRUE(heard.awaitBuffers(3));
    EXPECT_EQ(heard.energy(), 0) << "the speaker was silent";
    test_support::TestDesktop::shared().play(phrase().path());
    engine->stop();

    // The same power over the whole phrase, at whatever rate it is heard.
    double played = 0;
    for (float sample : phrase().audio().channels[0]) played += double{sample} * sample;
    const double heardAtFileRate =
        heard.energy() * phrase().audio().format.sampleRate / format.sampleRate;
    EXPECT_NEAR(heardAtFileRate / played, 1.0, 0.05);
}

}  // namespace
}  // namespace lumora::contract
