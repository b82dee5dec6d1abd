#include "platform/linux/pocketsphinx_speech.h"

#include <algorithm>
#include <stdexcept>

#include "platform/linux/pocketsphinx_decoder.h"
#include "platform/linux/pocketsphinx_task.h"
#include "platform/linux/queued_audio_request.h"

namespace lumora::platform {

namespace {

class PocketsphinxRecognizer final : public SpeechRecognizer {
  public:
    PocketsphinxRecognizer(PocketsphinxModel model, bool available)
        : model_(std::move(model)), available_(available) {}

    bool isAvailable() override { return available_; }
    bool supportsOnDeviceRecognition() override { return true; }

    std::shared_ptr<RecognitionRequest> makeRequest() override {
        return std::make_shared<QueuedAudioRequest>();
    }

    std::unique_ptr<RecognitionTask> start(std::shared_ptr<RecognitionRequest> request,
                                           RecognitionHandler handler) override {
        auto ours = std::dynamic_pointer_cast<QueuedAudioRequest>(std::move(request));
        if (!ours) throw std::invalid_argument("The request was not made by this recognizer");
        return std::make_unique<RecognitionWorker>(
            std::move(ours), std::move(handler),
            [model = model_](RecognitionWorker& worker) { decodeWithPocketsphinx(model, worker); });
    }

  private:
    const PocketsphinxModel model_;
    const bool available_;
};

}  // namespace

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
    return std::make_unique<PocketsphinxRecognizer>(*model, loads(*model));
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
