// The microphone as the assistant uses it, on both desktops: the input's format, a tap that
// hears buffers of its size in that format on the audio thread, and stopping that ends the
// tap's calls. On the real desktop also: what is played into the speaker reaches the taps, a
// missing sound server is an input without a format, and speech played into the speaker is
// recognised at least as well as the recogniser does from the file itself.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "platform/linux/pulse_audio.h"
#include "platform/sim/realtime_microphone.h"
#include "runtime/error.h"
#include "tests/platform/contract/desktop_world.h"
#include "tests/support/recognition_reports.h"
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

TEST_F(RealMicrophone, WithoutASoundServerThereIsNoInput) {
    platform::PulseAudio missing("unix:/nonexistent/lumora/pulse/native");
    EXPECT_FALSE(missing.hasInput());
    auto engine = missing.createEngine();
    EXPECT_EQ(engine->inputFormat(), AudioFormat{});
    HeardAudio heard;
    engine->installTap(tapFrames, {48000, 1}, heard.tap());
    try {
        engine->start();
        ADD_FAILURE() << "the engine started without a server";
    } catch (const Error& error) {
        EXPECT_NE(error.description.find("sound server"), std::string::npos) << error.description;
    }
}

TEST_F(RealMicrophone, PermissionsAreGrantedForWhatWorks) {
    EXPECT_EQ(world->permissions().microphoneStatus(), platform::authorizationAuthorized);
    EXPECT_EQ(world->permissions().speechRecognitionStatus(), platform::authorizationAuthorized);
}

TEST_F(RealMicrophone, SpeechIntoTheSpeakerIsRecognisedAtLeastAsWellAsFromTheFile) {
    auto recognizer = world->speech().recognizer("en-US");
    ASSERT_TRUE(recognizer);
    auto request = recognizer->makeRequest();
    test_support::RecognitionReports reports;
    auto task = recognizer->start(request, reports.handler());
    auto engine = world->audio().createEngine();
    HeardAudio heard;
    auto listen = heard.tap();
    engine->installTap(tapFrames, engine->inputFormat(), [&](const AudioBuffer& buffer) {
        listen(buffer);
        request->append(buffer);
    });
    engine->start();
    ASSERT_TRUE(heard.awaitBuffers(1));
    test_support::TestDesktop::shared().play(phrase().path());
    engine->stop();
    request->endAudio();
    ASSERT_TRUE(reports.awaitEnd());

    ASSERT_TRUE(reports.errors().empty()) << reports.errors().front();
    const std::vector<platform::RecognitionResult> results = reports.results();
    ASSERT_GE(results.size(), 2u) << "partial results while the user speaks, then the final";
    EXPECT_FALSE(results.front().isFinal);
    const std::string& transcript = results.back().formattedString;
    EXPECT_GE(phrase().wordsMatched(transcript),
              phrase().wordsMatched(phrase().offlineTranscript()))
        << "heard \"" << transcript << "\", from the file \"" << phrase().offlineTranscript()
        << "\"";
}

}  // namespace
}  // namespace lumora::contract
