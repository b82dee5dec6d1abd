// On-device speech recognition on Linux with pocketsphinx: the installed models' locales
// ("en_US"; "en-US" names the same), and a recogniser per locale whose tasks each decode one
// request on a worker of their own. Whether a model loads is learnt once per process, the first
// time it matters, since a load takes a few tenths of a second; the recogniser's availability
// and the Speech Recognition permission follow it.
#pragma once

#include <map>
#include <mutex>

#include "platform/linux/on_device_speech.h"
#include "platform/linux/pocketsphinx_model.h"

namespace lumora::platform {

class PocketsphinxSpeech final : public OnDeviceSpeech {
  public:
    explicit PocketsphinxSpeech(
        std::vector<PocketsphinxModel> models = installedPocketsphinxModels())
        : models_(std::move(models)) {}

    std::vector<std::string> supportedLocales() override;
    std::unique_ptr<SpeechRecognizer> recognizer(const std::string& localeIdentifier) override;
    std::string recognizerDescription() override;
    // Some model loads.
    bool modelLoads() override;

  private:
    bool loads(const PocketsphinxModel& model);

    const std::vector<PocketsphinxModel> models_;
    std::mutex mutex_;
    // By locale.
    std::map<std::string, bool> loads_;
};

}  // namespace lumora::platform
