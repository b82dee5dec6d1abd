#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/sim/sim_fixture.h"

namespace lumora::sim {
namespace {

using platform::AudioBuffer;
using platform::AudioFormat;
using platform::RecognitionResult;

constexpr std::string_view speechScenario = R"({
  "speech": {
    "locales": ["en_US", "ja_JP"],
    "recognizers": {"ja_JP": {"available": true, "onDevice": false}},
    "results": [
      {"text": "Hello", "segments": [{"timestamp": 0.5, "duration": 0.25}]},
      {"text": "Hello there", "final": true, "metadata": true,
       "segments": [{"timestamp": 0.5, "duration": 0.25}, {"timestamp": 0.75, "duration": 0.5}]}
    ],
    "error": "Recognition stopped"
  }
})";

// What a recognition handler was told, one line per call.
struct Transcript {
    std::vector<std::string> lines;
    platform::RecognitionHandler handler() {
        return [this](const std::optional<RecognitionResult>& result,
                      const std::optional<std::string>& error) {
            if (error) {
                lines.push_back("error: " + *error);
                return;
            }
            std::string line = result->formattedString + (result->isFinal ? " [final]" : "") +
                               (result->hasSpeechRecognitionMetadata ? " [metadata]" : "");
            for (const auto& segment : result->segments) {
                line += " " + std::to_string(segment.timestamp) + "+" +
                        std::to_string(segment.duration);
            }
            lines.push_back(line);
        };
    }
};

AudioBuffer silence(std::size_t frames) {
    return AudioBuffer{AudioFormat{48000, 1}, {std::vector<float>(frames, 0.0f)}};
}

TEST(Speech, OffersRecognizersForItsLocalesOnly) {
    auto desktop = desktopFrom(speechScenario);
    EXPECT_EQ(desktop->speech().supportedLocales(), (std::vector<std::string>{"en_US", "ja_JP"}));
    auto english = desktop->speech().recognizer("en_US");
    ASSERT_NE(english, nullptr);
    EXPECT_TRUE(english->isAvailable());
    EXPECT_TRUE(english->supportsOnDeviceRecognition());
    auto japanese = desktop->speech().recognizer("ja_JP");
    ASSERT_NE(japanese, nullptr);
    EXPECT_FALSE(japanese->supportsOnDeviceRecognition());
    EXPECT_EQ(desktop->speech().recognizer("fr_FR"), nullptr);

    auto defaults = desktopFrom("{}");
    EXPECT_EQ(defaults->speech().supportedLocales(),
              (std::vector<std::string>{"en_US", "fr_FR", "de_DE", "en_GB"}));
}

TEST(Speech, ReportsTheScriptedResultsWhenTheAudioEnds) {
    auto desktop = desktopFrom(speechScenario);
    auto recognizer = desktop->speech().recognizer("en_US");
    auto request = recognizer->makeRequest();
    Transcript transcript;
    auto task = recognizer->start(request, transcript.handler());
    request->append(silence(1024));
    EXPECT_TRUE(transcript.lines.empty());
    request->endAudio();
    EXPECT_EQ(transcript.lines,
              (std::vector<std::string>{
                  "Hello 0.500000+0.250000",
                  "Hello there [final] [metadata] 0.500000+0.250000 0.750000+0.500000",
                  "error: Recognition stopped"}));
    request->endAudio();
    EXPECT_EQ(transcript.lines.size(), 3u);
}

TEST(Speech, ARequestEndedBeforeTheTaskStartsIsReportedAtTheStart) {
    auto desktop = desktopFrom(R"({"speech": {"results": [{"text": "Hi", "final": true}]}})");
    auto recognizer = desktop->speech().recognizer("en_US");
    auto request = recognizer->makeRequest();
    request->append(silence(10));
    request->endAudio();
    Transcript transcript;
    auto task = recognizer->start(request, transcript.handler());
    EXPECT_EQ(transcript.lines, std::vector<std::string>{"Hi [final]"});
}

TEST(Speech, HearsNothingWithoutAudioOrOnceCancelled) {
    auto desktop = desktopFrom(speechScenario);
    auto recognizer = desktop->speech().recognizer("en_US");

    auto silent = recognizer->makeRequest();
    Transcript nothingHeard;
    auto first = recognizer->start(silent, nothingHeard.handler());
    silent->endAudio();
    EXPECT_EQ(nothingHeard.lines, std::vector<std::string>{"error: No speech detected"});

    auto cancelled = recognizer->makeRequest();
    Transcript afterCancel;
    auto second = recognizer->start(cancelled, afterCancel.handler());
    cancelled->append(silence(1024));
    second->cancel();
    cancelled->endAudio();
    EXPECT_TRUE(afterCancel.lines.empty());
}

// When each result is heard, by the quarter seconds of audio appended: the task starts after
// `attachAt` of them, and is cancelled after `cancelAt` (never when -1).
struct TimedResultsCase {
    int attachAt;
    int cancelAt;
    std::vector<std::string> heard;
};

TEST(Speech, ReportsTimedResultsOnceTheirAudioWasHeard) {
    auto desktop = desktopFrom(R"({"speech": {"results": [
        {"text": "one", "afterAudio": 0.5}, {"text": "untimed"},
        {"text": "two", "afterAudio": 1}, {"text": "zero", "afterAudio": 0}],
        "error": "stopped"}})");
    const std::vector<TimedResultsCase> cases = {
        {0, -1, {"1 zero", "2 one", "4 two", "end untimed", "end error: stopped"}},
        {3, -1, {"3 one", "3 zero", "4 two", "end untimed", "end error: stopped"}},
        {0, 2, {"1 zero", "2 one"}},
    };
    for (const auto& c : cases) {
        auto recognizer = desktop->speech().recognizer("en_US");
        auto request = recognizer->makeRequest();
        std::string when;
        std::vector<std::string> heard;
        auto handler = [&](const std::optional<RecognitionResult>& result,
                           const std::optional<std::string>& error) {
            heard.push_back(when + " " + (result ? result->formattedString : "error: " + *error));
        };
        std::unique_ptr<platform::RecognitionTask> task;
        for (int quarters = 0; quarters <= 4; ++quarters) {
            when = std::to_string(quarters);
            if (quarters > 0) request->append(silence(12000));
            if (quarters == c.attachAt) task = recognizer->start(request, handler);
            if (quarters == c.cancelAt) task->cancel();
        }
        when = "end";
        request->endAudio();
        EXPECT_EQ(heard, c.heard) << "attached at " << c.attachAt;
    }
}

class AudioTest : public testing::Test {
  protected:
    // Buffers of two frames last a quarter of a second.
    std::unique_ptr<SimDesktop> desktop = desktopFrom(R"({"audio": {
        "sampleRate": 8, "channels": 2, "samples": [0.5, -0.25, 0.125]}})");
    std::vector<AudioBuffer> buffers;
    std::unique_ptr<platform::AudioEngine> engine = desktop->audio().createEngine();

    void tap(std::uint32_t frames) {
        engine->installTap(frames, AudioFormat{},
                           [this](const AudioBuffer& buffer) { buffers.push_back(buffer); });
    }
};

TEST_F(AudioTest, DeliversEachBufferOnceSpokenAndSilenceAfterTheScript) {
    EXPECT_EQ(engine->inputFormat(), (AudioFormat{8, 2}));
    tap(2);
    engine->start();
    EXPECT_EQ(desktop->deliverAudio(10), 0u);
    EXPECT_EQ(desktop->deliverAudio(10.2), 0u);
    EXPECT_EQ(desktop->deliverAudio(10.5), 2u);
    EXPECT_EQ(desktop->deliverAudio(10.75), 1u);
    ASSERT_EQ(buffers.size(), 3u);
    EXPECT_EQ(buffers[0].format, (AudioFormat{8, 2}));
    EXPECT_EQ(buffers[0].channels,
              (std::vector<std::vector<float>>{{0.5f, -0.25f}, {0.5f, -0.25f}}));
    EXPECT_EQ(buffers[1].channels,
              (std::vector<std::vector<float>>{{0.125f, 0.0f}, {0.125f, 0.0f}}));
    EXPECT_EQ(buffers[2].channels, (std::vector<std::vector<float>>{{0, 0}, {0, 0}}));
}

TEST_F(AudioTest, OnlyARunningEngineWithATapHearsAndEachStartBeginsAgain) {
    tap(2);
    EXPECT_EQ(desktop->deliverAudio(0) + desktop->deliverAudio(1), 0u);
    engine->start();
    desktop->deliverAudio(1);
    EXPECT_EQ(desktop->deliverAudio(1.5), 2u);
    engine->stop();
    EXPECT_FALSE(desktop->microphoneRunning());
    EXPECT_EQ(desktop->deliverAudio(5), 0u);
    engine->start();
    desktop->deliverAudio(5);
    EXPECT_EQ(desktop->deliverAudio(5.25), 1u);
    EXPECT_EQ(buffers.back().channels[0], (std::vector<float>{0.5f, -0.25f}));
    engine->removeTap();
    EXPECT_EQ(desktop->deliverAudio(9), 0u);
}

TEST_F(AudioTest, ATapThatStopsItsEngineHearsNothingMore) {
    engine->installTap(2, AudioFormat{}, [this](const AudioBuffer& buffer) {
        buffers.push_back(buffer);
        engine->stop();
    });
    engine->start();
    desktop->deliverAudio(0);
    EXPECT_EQ(desktop->deliverAudio(2), 1u);
}

TEST(Audio, AnEngineThatWillNotStartSaysWhy) {
    auto desktop = desktopFrom(R"({"audio": {"startError": {
        "domain": "com.apple.coreaudio.avfaudio", "code": -10868,
        "description": "The input device is not available."}}})");
    auto engine = desktop->audio().createEngine();
    EXPECT_EQ(engine->inputFormat(), (AudioFormat{48000, 1}));
    try {
        engine->start();
        FAIL() << "started";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain, "com.apple.coreaudio.avfaudio");
        EXPECT_EQ(error.code, -10868);
        EXPECT_EQ(error.description, "The input device is not available.");
    }
    EXPECT_FALSE(desktop->microphoneRunning());
}

}  // namespace
}  // namespace lumora::sim
