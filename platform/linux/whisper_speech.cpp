#include "platform/linux/whisper_speech.h"

#include <whisper.h>

#include <algorithm>
#include <thread>

#include "platform/linux/recognition_worker.h"
#include "platform/linux/whisper_decoding.h"

namespace lumora::platform {

namespace {

const std::vector<std::string> englishLocales = {"en_US", "en_GB"};

// "en_US" → "en".
std::string languageOf(const std::string& locale) {
    return locale.substr(0, locale.find('_'));
}

}  // namespace

WhisperSpeech::WhisperSpeech(const std::string& modelPath, int threads)
    : check_(inspectWhisperModel(modelPath)),
      threads_(threads > 0
                   ? threads
                   : static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u))) {
    // whisper.cpp logs even when it is only asked for a language's id.
    silenceWhisperLogging();
}

WhisperSpeech::~WhisperSpeech() = default;

std::vector<std::string> WhisperSpeech::supportedLocales() {
    if (!check_.model || !check_.model->multilingual) return englishLocales;
    std::vector<std::string> languages;
    for (int id = 0; id <= whisper_lang_max_id(); ++id)
        languages.emplace_back(whisper_lang_str(id));
    return languages;
}

std::unique_ptr<SpeechRecognizer> WhisperSpeech::recognizer(const std::string& localeIdentifier) {
    std::string locale = localeIdentifier;
    std::replace(locale.begin(), locale.end(), '-', '_');
    const std::vector<std::string> locales = supportedLocales();
    const bool known = std::find(locales.begin(), locales.end(), locale) != locales.end() ||
                       (check_.model && check_.model->multilingual &&
                        whisper_lang_id(languageOf(locale).c_str()) >= 0);
    if (!known) return nullptr;
    std::shared_ptr<WhisperModel> model = loaded();
    const std::string problem =
        check_.model ? RecognitionFailures::modelUnloadable : check_.problem;
    return std::make_unique<QueuedAudioRecognizer>(
        model != nullptr, [model, language = languageOf(locale), threads = threads_,
                           problem](RecognitionWorker& worker) {
            if (!model) {
                worker.report(std::nullopt, problem);
                return;
            }
            decodeWithWhisper(*model, language, threads, worker);
        });
}

std::string WhisperSpeech::recognizerDescription() {
    if (!check_.model) return "whisper.cpp: " + check_.problem;
    const WhisperModelInfo& model = *check_.model;
    std::string description = "whisper.cpp (" + model.size + ", " +
                              (model.multilingual ? "multilingual" : "English") + ", " +
                              model.weightType + ": " + model.path + ")";
    // Described without loading it: a status report must not wait for a large model.
    std::lock_guard lock(mutex_);
    const bool refused = loaded_ && *loaded_ == nullptr;
    return refused ? description + ": " + RecognitionFailures::modelUnloadable : description;
}

bool WhisperSpeech::modelLoads() {
    return loaded() != nullptr;
}

std::shared_ptr<WhisperModel> WhisperSpeech::loaded() {
    if (!check_.model) return nullptr;
    std::lock_guard lock(mutex_);
    if (!loaded_) loaded_ = WhisperModel::load(check_.model->path);
    return *loaded_;
}

}  // namespace lumora::platform
