// What the speech port promises the assistant, held to by both on-device recognisers:
// pocketsphinx with Debian's model, and whisper.cpp with a model of Whisper's tiny shape and
// random weights (its words are nonsense; its results keep the same promises).
#include <gtest/gtest.h>

#include <functional>

#include "platform/linux/pocketsphinx_speech.h"
#include "platform/linux/whisper_speech.h"
#include "tests/support/recognition_reports.h"
#include "tests/support/spoken_phrase.h"
#include "tests/support/whisper_test_model.h"

namespace lumora::platform {
namespace {

using test_support::RecognitionReports;

struct Recogniser {
    const char* name;
    std::function<std::unique_ptr<OnDeviceSpeech>()> make;
};

class SpeechContract : public ::testing::TestWithParam<Recogniser> {
  protected:
    void SetUp() override {
        speech = GetParam().make();
        ASSERT_TRUE(speech->modelLoads()) << speech->recognizerDescription();
        recognizer = speech->recognizer("en-US");
        ASSERT_TRUE(recognizer);
        EXPECT_TRUE(recognizer->isAvailable());
        EXPECT_TRUE(recognizer->supportsOnDeviceRecognition());
        request = recognizer->makeRequest();
        task = recognizer->start(request, reports.handler());
    }

    const std::vector<AudioBuffer>& buffers() const {
        static const std::vector<AudioBuffer> tapped = test_support::testPhrase().tapBuffers();
        return tapped;
    }

    std::unique_ptr<OnDeviceSpeech> speech;
    std::unique_ptr<SpeechRecognizer> recognizer;
    std::shared_ptr<RecognitionRequest> request;
    RecognitionReports reports;
    std::unique_ptr<RecognitionTask> task;
};

TEST_P(SpeechContract, PartialResultsWhileAudioArrivesThenOneFinalWithinTheAudio) {
    const std::size_t half = buffers().size() / 2;
    for (std::size_t i = 0; i < half; ++i) request->append(buffers()[i]);
    // The first half is heard before the rest is spoken.
    ASSERT_TRUE(reports.awaitResult());
    for (std::size_t i = half; i < buffers().size(); ++i) request->append(buffers()[i]);
    request->endAudio();
    ASSERT_TRUE(reports.awaitEnd());

    EXPECT_TRUE(reports.errors().empty());
    const std::vector<RecognitionResult> results = reports.results();
    ASSERT_GE(results.size(), 2u);
    for (std::size_t i = 0; i + 1 < results.size(); ++i) {
        EXPECT_FALSE(results[i].isFinal);
        EXPECT_FALSE(results[i].hasSpeechRecognitionMetadata);
        EXPECT_FALSE(results[i].formattedString.empty());
        // Partial results carry no times, as the platform's do, so that the transcript never
        // takes one for a stretch of speech before the final result.
        EXPECT_TRUE(results[i].segments.empty());
    }
    const RecognitionResult& final = results.back();
    EXPECT_TRUE(final.isFinal);
    EXPECT_TRUE(final.hasSpeechRecognitionMetadata);
    ASSERT_FALSE(final.segments.empty()) << final.formattedString;
    double previousEnd = 0;
    for (const RecognitionSegment& segment : final.segments) {
        EXPECT_GE(segment.timestamp, previousEnd - 1e-9);
        EXPECT_GE(segment.duration, 0);
        previousEnd = segment.timestamp + segment.duration;
    }
    EXPECT_LE(previousEnd, test_support::testPhrase().seconds() + 0.05);
}

TEST_P(SpeechContract, NothingIsReportedOnceCancelledEvenMidDecode) {
    for (const AudioBuffer& buffer : buffers()) request->append(buffer);
    ASSERT_TRUE(reports.awaitResult());
    // The final decode of all the audio starts, and is cancelled under way.
    request->endAudio();
    task->cancel();
    const std::size_t reported = reports.results().size();
    task.reset();  // waits for the worker
    EXPECT_EQ(reports.results().size(), reported);
    EXPECT_FALSE(reports.results().back().isFinal);
    EXPECT_TRUE(reports.errors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    OnDevice, SpeechContract,
    ::testing::Values(Recogniser{"Pocketsphinx",
                                 [] { return std::make_unique<PocketsphinxSpeech>(); }},
                      Recogniser{"Whisper",
                                 [] {
                                     return std::make_unique<WhisperSpeech>(
                                         test_support::tinyWhisperTestModel().path);
                                 }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumora::platform
