// The Whisper capture as the app sees it: converted audio in order, a finish that comes last
// and once, silence after a cancel or a conversion error.
#include "assistant/speech/whisper_audio_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "platform/linux/soxr_conversion.h"
#include "runtime/base64.h"
#include "runtime/error.h"

namespace lumora {
namespace {

// What the app received, from the capture's own worker.
struct App {
    std::mutex mutex;
    std::vector<json::Document> events;

    std::function<void(const json::Document&)> sink() {
        return [this](const json::Document& event) {
            std::lock_guard lock(mutex);
            events.push_back(event);
        };
    }
    std::vector<std::string> phases() {
        std::vector<std::string> found;
        for (const auto& event : events) found.push_back(event.at("phase"));
        return found;
    }
    std::size_t samples() {
        std::size_t total = 0;
        for (const auto& event : events) {
            if (event.at("phase") == "whisper_audio") {
                total += base64::decode(event.at("audio").get<std::string>())->size() / 4;
            }
        }
        return total;
    }
};

platform::AudioBuffer silence(double rate, std::size_t frames = 1024) {
    return {{rate, 1}, {std::vector<float>(frames, 0.0f)}};
}

TEST(WhisperAudioCaptureTest, StreamsTheRecordingInOrderAndFinishesOnce) {
    platform::SoxrConversion conversion;
    App app;
    {
        WhisperAudioCapture capture({48000, 1}, 12, conversion, app.sink());
        // Ten seconds of a 48 kHz microphone, in the tap's 1,024-frame buffers.
        for (int buffer = 0; buffer < 469; ++buffer) capture.append(silence(48000));
        capture.finish();
        capture.finish();
        capture.append(silence(48000));
    }
    std::vector<std::string> phases = app.phases();
    ASSERT_GE(phases.size(), 2u);
    EXPECT_EQ(phases.back(), "whisper_finish");
    EXPECT_EQ(std::count(phases.begin(), phases.end(), "whisper_finish"), 1);
    EXPECT_EQ(std::count(phases.begin(), phases.end(), "whisper_audio"),
              static_cast<long>(phases.size()) - 1);
    EXPECT_NEAR(static_cast<double>(app.samples()), 469 * 1024 / 3.0, 1024 / 3.0);
    for (const auto& event : app.events) EXPECT_EQ(event.at("id"), 12);
}

TEST(WhisperAudioCaptureTest, ACancelledCaptureSaysNothingMore) {
    platform::SoxrConversion conversion;
    App app;
    {
        WhisperAudioCapture capture({44100, 2}, 3, conversion, app.sink());
        capture.cancel();
        capture.append(silence(44100));
        capture.finish();
    }
    EXPECT_TRUE(app.events.empty());
}

// A converter that gives up on the second buffer.
class FailingConversion final : public platform::AudioConversion {
  public:
    std::unique_ptr<platform::AudioConverter> createConverter(platform::AudioFormat) override {
        class Converter final : public platform::AudioConverter {
          public:
            std::vector<float> convert(const platform::AudioBuffer& buffer) override {
                if (++calls_ == 2) throw Error("Converter", 5, "broken");
                return std::vector<float>(buffer.frameCount() / 3, 0.25f);
            }
            std::vector<float> flush() override { return {}; }

          private:
            int calls_ = 0;
        };
        return std::make_unique<Converter>();
    }
};

TEST(WhisperAudioCaptureTest, AConversionErrorIsReportedOnceThenNothingFollows) {
    FailingConversion conversion;
    App app;
    {
        WhisperAudioCapture capture({48000, 1}, 4, conversion, app.sink());
        for (int buffer = 0; buffer < 3; ++buffer) capture.append(silence(48000));
        capture.finish();
    }
    EXPECT_EQ(app.phases(), (std::vector<std::string>{"whisper_audio", "whisper_capture_error"}));
    EXPECT_EQ(app.events[1].at("message"), "Could not convert microphone audio.");
    float first = 0;
    std::memcpy(&first, base64::decode(app.events[0].at("audio").get<std::string>())->data(), 4);
    EXPECT_EQ(first, 0.25f);
}

TEST(WhisperAudioCaptureTest, AFormatWithoutAConverterCannotBeCaptured) {
    platform::SoxrConversion conversion;
    try {
        WhisperAudioCapture capture({0, 0}, 1, conversion);
        FAIL() << "a capture without a converter";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain, "Lumora");
        EXPECT_EQ(error.code, 1);
        EXPECT_EQ(error.description, "Could not prepare the microphone for Whisper.");
    }
}

}  // namespace
}  // namespace lumora
