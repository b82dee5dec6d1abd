#include "platform/linux/pocketsphinx_speech.h"

#include <algorithm>

#include "platform/linux/pocketsphinx_decoder.h"
#include "platform/linux/pocketsphinx_task.h"

namespace lumora::platform {

std::vector<std::string> PocketsphinxSpeech::supportedLocales() {
    std::vector<std::string> locales;
    for (const PocketsphinxModel& model : models_) locales.push_back(model.locale);
    return locales;
}

std::unique_ptr<SpeechRecognizer> PocketsphinxSpeech::recognizer(
    const std::string& localeIdentifier) {
    std::string locale = localeIdentifier;
    std::replace(locale.begin(), locale.end(), '-', '_');
    auto model = std::find_if(models_.begin(), models_.end(),
                              [&](const PocketsphinxModel& m) { return m.locale == locale; });
    if (model == models_.end()) return nullptr;
    return std::make_unique<QueuedAudioRecognizer>(
        loads(*model),
        [model = *model](RecognitionWorker& worker) { decodeWithPocketsphinx(model, worker); });
}

std::string PocketsphinxSpeech::recognizerDescription() {
    if (models_.empty()) return "pocketsphinx: no model is installed";
    std::string locales;
    for (const PocketsphinxModel& model : models_)
        locales += (locales.empty() ? "" : ", ") + model.locale;
    return "pocketsphinx (" + locales + ")" + (modelLoads() ? "" : ": the model does not load");
}

bool PocketsphinxSpeech::modelLoads() {
    return std::any_of(models_.begin(), models_.end(),
                       [this](const PocketsphinxModel& model) { return loads(model); });
}

bool PocketsphinxSpeech::loads(const PocketsphinxModel& model) {
    std::lock_guard lock(mutex_);
    auto known = loads_.find(model.locale);
    if (known == loads_.end()) {
        known = loads_.emplace(model.locale, PocketsphinxDecoder::load(model) != nullptr).first;
    }
    return known->second;
}

}  // namespace lumora::platform
