#include "platform/linux/on_device_speech.h"

#include "platform/linux/pocketsphinx_speech.h"
#include "platform/linux/whisper_speech.h"

namespace lumora::platform {

std::unique_ptr<OnDeviceSpeech> chooseOnDeviceSpeech(const EnvironmentLookup& environment) {
    if (std::optional<std::string> model = chosenWhisperModel(environment)) {
        return std::make_unique<WhisperSpeech>(*model);
    }
    return std::make_unique<PocketsphinxSpeech>();
}

}  // namespace lumora::platform
