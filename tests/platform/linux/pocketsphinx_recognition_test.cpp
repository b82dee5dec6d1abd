// On-device recognition with pocketsphinx as the assistant drives it: a final result with a
// segment per word, as good as the same decoder makes of the file directly; models that are
// missing or broken. What every recogniser promises is the speech contract's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/linux/pocketsphinx_speech.h"
#include "runtime/error.h"
#include "tests/support/recognition_reports.h"
#include "tests/support/spoken_phrase.h"

namespace lumora::platform {
namespace {

namespace fs = std::filesystem;
using test_support::RecognitionReports;
using test_support::SpokenPhrase;

const SpokenPhrase& phrase() {
    return test_support::testPhrase();
}

class PocketsphinxRecognitionTest : public testing::Test {
  protected:
    void SetUp() override {
        recognizer = speech.recognizer("en-US");
        ASSERT_TRUE(recognizer);
        request = recognizer->makeRequest();
        task = recognizer->start(request, reports.handler());
    }

    PocketsphinxSpeech speech;
    std::unique_ptr<SpeechRecognizer> recognizer;
    std::shared_ptr<RecognitionRequest> request;
    RecognitionReports reports;
    std::unique_ptr<RecognitionTask> task;
};

TEST_F(PocketsphinxRecognitionTest, TheFinalResultIsAsGoodAsOffline) {
    for (const AudioBuffer& buffer : phrase().tapBuffers()) request->append(buffer);
    request->endAudio();
    ASSERT_TRUE(reports.awaitEnd());
    ASSERT_FALSE(reports.results().empty());
    const RecognitionResult final = reports.results().back();
    const std::size_t offline = phrase().wordsMatched(phrase().offlineTranscript());
    EXPECT_GE(offline, 3u) << phrase().offlineTranscript();
    EXPECT_GE(phrase().wordsMatched(final.formattedString), offline)
        << "heard \"" << final.formattedString << "\", offline \"" << phrase().offlineTranscript()
        << "\"";
    // One segment per word.
    std::istringstream text(final.formattedString);
    const auto words = std::distance(std::istream_iterator<std::string>(text),
                                     std::istream_iterator<std::string>());
    EXPECT_EQ(final.segments.size(), static_cast<std::size_t>(words));
}

class ModelFolder : public testing::Test {
  protected:
    ModelFolder() {
        std::string pattern = (fs::temp_directory_path() / "lumora-models-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
    }
    ~ModelFolder() override { fs::remove_all(folder); }

    // A model's files, each holding `content`.
    void install(const std::string& name, const std::string& content) {
        fs::create_directories(folder / name / name);
        std::ofstream(folder / name / (name + ".lm.bin")) << content;
        std::ofstream(folder / name / ("cmudict-" + name + ".dict")) << content;
    }

    fs::path folder;
};

TEST_F(ModelFolder, ABrokenModelIsListedButUnavailableAndItsTasksFail) {
    install("en-us", "not a model");
    install("en", "not a locale");
    fs::create_directories(folder / "de-de");  // files missing
    PocketsphinxSpeech speech(pocketsphinxModelsIn(folder));
    EXPECT_EQ(speech.supportedLocales(), std::vector<std::string>{"en_US"});
    EXPECT_FALSE(speech.modelLoads());
    auto recognizer = speech.recognizer("en-US");
    ASSERT_TRUE(recognizer);
    EXPECT_FALSE(recognizer->isAvailable());

    RecognitionReports reports;
    auto request = recognizer->makeRequest();
    auto task = recognizer->start(request, reports.handler());
    ASSERT_TRUE(reports.awaitEnd());
    EXPECT_EQ(reports.errors(),
              std::vector<std::string>{"The speech recognition model could not be loaded."});
}

TEST_F(ModelFolder, WithoutModelsThereIsNoRecognizer) {
    PocketsphinxSpeech speech(pocketsphinxModelsIn(folder));
    EXPECT_TRUE(speech.supportedLocales().empty());
    EXPECT_FALSE(speech.modelLoads());
    EXPECT_FALSE(speech.recognizer("en_US"));
}

}  // namespace
}  // namespace lumora::platform
