// The Whisper capture as the app sees it: converted audio in order, a finish that comes last
// and once, silence after a cancel or a conversion error.
#include "assistant/speech/whisper_audio_capture.h"

#include <gtest/gtest.h>

#include <mutex>

#include "platform/linux/soxr_conversion.h"
#include "runtime/base64.h"
#include "runtime/error.h"

namespace lumora {
namespace {

// The phases the app received from the capture's worker, and the samples of the audio ones.
struct App {
    std::mutex mutex;
    std::vector<std::string> phases;
    std::size_t samples = 0;

    std::function<void(const json::Document&)> sink() {
        return [this](const json::Document& event) {
            std::lock_guard lock(mutex);
            phases.push_back(event.at("phase"));
            if (event.contains("audio")) {
                samples += base64::decode(event.at("audio").get<std::string>())->size() / 4;
            }
        };
    }
};

const platform::AudioBuffer buffer{{48000, 1}, {std::vector<float>(1024, 0.1f)}};

TEST(WhisperAudioCaptureTest, StreamsInOrderFinishesOnceAndFallsSilentWhenCancelled) {
    platform::SoxrConversion conversion;
    App app;
    {
        WhisperAudioCapture capture({48000, 1}, 12, conversion, app.sink());
        // Ten seconds of a 48 kHz microphone in the tap's buffers.
        for (int i = 0; i < 469; ++i) capture.append(buffer);
        capture.finish();
        capture.finish();
        capture.append(buffer);
    }
    EXPECT_EQ(app.phases.back(), "whisper_finish");
    EXPECT_EQ(std::count(app.phases.begin(), app.phases.end(), "whisper_audio"),
              static_cast<long>(app.phases.size()) - 1);
    EXPECT_NEAR(static_cast<double>(app.samples), 469 * 1024 / 3.0, 1024 / 3.0);

    App cancelled;
    {
        WhisperAudioCapture capture({48000, 1}, 3, conversion, cancelled.sink());
        capture.cancel();
        capture.append(buffer);
        capture.finish();
    }
    EXPECT_TRUE(cancelled.phases.empty());

    // A cancel while the finish is still being sent: nothing leaves once cancel returns.
    App interrupted;
    {
        WhisperAudioCapture capture({48000, 1}, 4, conversion, interrupted.sink());
        for (int i = 0; i < 469; ++i) capture.append(buffer);
        capture.finish();
        capture.cancel();
        std::lock_guard lock(interrupted.mutex);
        interrupted.phases.push_back("cancelled");
    }
    EXPECT_EQ(interrupted.phases.back(), "cancelled");

    try {
        WhisperAudioCapture capture({0, 0}, 1, conversion);
        FAIL() << "a capture without a converter";
    } catch (const Error& error) {
        EXPECT_EQ(error.description, "Could not prepare the microphone for Whisper.");
    }
}

// A converter that gives up on the second buffer.
struct FailingConversion final : platform::AudioConversion, platform::AudioConverter {
    int calls = 0;
    std::unique_ptr<platform::AudioConverter> createConverter(platform::AudioFormat) override {
        return std::make_unique<FailingConversion>();
    }
    std::vector<float> convert(const platform::AudioBuffer&) override {
        if (++calls == 2) throw Error("Converter", 5, "broken");
        return {0.25f};
    }
    std::vector<float> flush() override { return {}; }
};

TEST(WhisperAudioCaptureTest, AConversionErrorIsReportedOnceThenNothingFollows) {
    FailingConversion conversion;
    App app;
    {
        WhisperAudioCapture capture({48000, 1}, 4, conversion, app.sink());
        for (int i = 0; i < 3; ++i) capture.append(buffer);
        capture.finish();
    }
    EXPECT_EQ(app.phases, (std::vector<std::string>{"whisper_audio", "whisper_capture_error"}));
}

}  // namespace
}  // namespace lumora
