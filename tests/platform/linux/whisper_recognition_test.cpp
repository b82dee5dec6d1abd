// On-device recognition with whisper.cpp: which model file is chosen, what a missing, foreign or
// cut file says (and that it never reaches whisper.cpp, which would read past its end), the
// locales an English model serves, and the same transcript for the same audio. With a real
// model named in LUMORA_WHISPER_TEST_MODEL, what was said is checked too.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/linux/whisper_speech.h"
#include "tests/support/recognition_reports.h"
#include "tests/support/spoken_phrase.h"
#include "tests/support/whisper_test_model.h"

namespace lumora::platform {
namespace {

namespace fs = std::filesystem;
using test_support::RecognitionReports;

// The final result of the test phrase, or the task's error.
RecognitionResult transcribed(OnDeviceSpeech& speech, std::vector<std::string>* errors = nullptr) {
    auto recognizer = speech.recognizer("en-US");
    RecognitionReports reports;
    auto request = recognizer->makeRequest();
    auto task = recognizer->start(request, reports.handler());
    for (const AudioBuffer& buffer : test_support::testPhrase().tapBuffers()) {
        request->append(buffer);
    }
    request->endAudio();
    EXPECT_TRUE(reports.awaitEnd(std::chrono::seconds(60)));
    if (errors) *errors = reports.errors();
    return reports.results().empty() ? RecognitionResult{} : reports.results().back();
}

class WhisperFiles : public ::testing::Test {
  protected:
    WhisperFiles() {
        std::string pattern = (fs::temp_directory_path() / "lumora-whisper-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
    }
    ~WhisperFiles() override { fs::remove_all(folder); }

    // The tiny model's first `bytes` bytes, as a file of its own.
    std::string cut(std::uintmax_t bytes, const std::string& name) {
        const std::string path = folder / name;
        fs::copy_file(test_support::tinyWhisperTestModel().path, path);
        fs::resize_file(path, bytes);
        return path;
    }
    // The tiny model with the 32-bit number at `offset` of its header changed to `value`.
    std::string patched(std::streamoff offset, std::int32_t value, const std::string& name) {
        const std::string path = folder / name;
        fs::copy_file(test_support::tinyWhisperTestModel().path, path);
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(offset);
        file.write(reinterpret_cast<const char*>(&value), sizeof value);
        return path;
    }

    fs::path folder;
};

TEST_F(WhisperFiles, WhatIsWrongWithAFileIsSaidAndNothingLoadsIt) {
    const std::string text = folder / "ggml-notes.bin";
    std::ofstream(text) << "these are my notes, not a model";
    const auto size = fs::file_size(test_support::tinyWhisperTestModel().path);
    const std::string notLoadable = "is not a Whisper model whisper.cpp can load.";
    struct Row {
        std::string path;
        std::string problem;
    };
    const std::vector<Row> rows = {
        {folder / "ggml-absent.bin", "does not exist."},
        {text, "is not a Whisper model in whisper.cpp's format."},
        // Cut right after the vocabulary, whisper.cpp would take it for an empty test model.
        {cut(test_support::tinyWhisperTestModel().weightsAt, "ggml-vocabulary.bin"),
         "holds 0 tensors where a Whisper model of its shape has 167."},
        {cut(size / 2, "ggml-half.bin"), "is truncated or damaged: it ends inside a tensor."},
        {cut(100, "ggml-header.bin"), "is truncated: it ends before its weights."},
        // Values whisper.cpp takes on trust: it would index past its vocabulary, write past its
        // spectrum's buffer, or fail to allocate and abort.
        {patched(4, 1000, "ggml-vocabulary-size.bin"), notLoadable},
        {patched(52, 4096, "ggml-filter-bins.bin"), notLoadable},
        {patched(12, 1 << 20, "ggml-width.bin"), notLoadable},
    };
    for (const Row& row : rows) {
        WhisperSpeech speech(row.path);
        EXPECT_EQ(speech.recognizerDescription(), "whisper.cpp: " + row.path + " " + row.problem);
        EXPECT_FALSE(speech.modelLoads()) << row.path;
        auto recognizer = speech.recognizer("en-US");
        ASSERT_TRUE(recognizer) << row.path;
        EXPECT_FALSE(recognizer->isAvailable()) << row.path;
        std::vector<std::string> errors;
        transcribed(speech, &errors);
        EXPECT_EQ(errors, std::vector<std::string>{row.path + " " + row.problem});
    }
}

TEST_F(WhisperFiles, TheNamedModelComesFirstThenTheUsersThenTheSystems) {
    const fs::path user = folder / "user";
    const fs::path system = folder / "system";
    for (const fs::path& data : {user, system}) fs::create_directories(data / "lumora/whisper");
    std::ofstream(system / "lumora/whisper/ggml-base.en.bin") << "";
    std::ofstream(system / "lumora/whisper/notes.txt") << "";
    std::map<std::string, std::string> environment = {
        {"XDG_DATA_HOME", user}, {"XDG_DATA_DIRS", "/nowhere:" + system.string()}};
    auto lookup = [&](const char* name) -> std::optional<std::string> {
        auto found = environment.find(name);
        return found == environment.end() ? std::nullopt : std::optional(found->second);
    };
    EXPECT_EQ(chosenWhisperModel(lookup), (system / "lumora/whisper/ggml-base.en.bin").string());
    std::ofstream(user / "lumora/whisper/ggml-tiny.en.bin") << "";
    std::ofstream(user / "lumora/whisper/ggml-small.en.bin") << "";
    EXPECT_EQ(chosenWhisperModel(lookup), (user / "lumora/whisper/ggml-small.en.bin").string());
    environment["LUMORA_WHISPER_MODEL"] = "/models/mine.bin";
    EXPECT_EQ(chosenWhisperModel(lookup), "/models/mine.bin");
    environment.clear();
    EXPECT_EQ(chosenWhisperModel(lookup), std::nullopt);
}

TEST(WhisperRecognition, AnEnglishModelServesEnglishAndTheSameAudioTheSameTranscript) {
    WhisperSpeech speech(test_support::tinyWhisperTestModel().path);
    EXPECT_EQ(speech.supportedLocales(), (std::vector<std::string>{"en_US", "en_GB"}));
    EXPECT_FALSE(speech.recognizer("fr-FR"));
    EXPECT_EQ(speech.recognizerDescription(), "whisper.cpp (tiny, English, f16: " +
                                                  test_support::tinyWhisperTestModel().path + ")");
    const RecognitionResult first = transcribed(speech);
    EXPECT_TRUE(first.isFinal);
    EXPECT_EQ(transcribed(speech).formattedString, first.formattedString);
}

// Only a trained model can say what was said; none is packaged, so one is named to check it.
TEST(WhisperRecognition, ARealModelHearsThePhrase) {
    const char* model = std::getenv("LUMORA_WHISPER_TEST_MODEL");
    if (model == nullptr) GTEST_SKIP() << "LUMORA_WHISPER_TEST_MODEL names no trained model";
    WhisperSpeech speech(model);
    const RecognitionResult final = transcribed(speech);
    const auto& phrase = test_support::testPhrase();
    EXPECT_GE(phrase.wordsMatched(final.formattedString),
              phrase.wordsMatched(phrase.offlineTranscript()))
        << final.formattedString;
}

}  // namespace
}  // namespace lumora::platform
