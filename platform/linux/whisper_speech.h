// On-device speech recognition with whisper.cpp: the locales the model knows (an English-only
// model serves "en_US" and "en_GB", a multilingual one every language Whisper knows), and a
// recogniser per locale whose tasks each decode one request on a worker of their own. The model
// file is checked when the speech port is made, and loaded once, the first time it is needed;
// its tasks share it, each decoding with a state of its own.
#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "platform/linux/on_device_speech.h"
#include "platform/linux/whisper_model_file.h"

namespace lumora::platform {

class WhisperModel;

class WhisperSpeech final : public OnDeviceSpeech {
  public:
    // `threads` decode each stretch of audio; 0 chooses by the processor (up to four).
    explicit WhisperSpeech(const std::string& modelPath, int threads = 0);
    ~WhisperSpeech() override;

    std::vector<std::string> supportedLocales() override;
    std::unique_ptr<SpeechRecognizer> recognizer(const std::string& localeIdentifier) override;
    std::string recognizerDescription() override;
    bool modelLoads() override;

  private:
    // The loaded model, or none when whisper.cpp refuses it. Thread-safe.
    std::shared_ptr<WhisperModel> loaded();

    const WhisperModelCheck check_;
    const int threads_;
    std::mutex mutex_;
    std::optional<std::shared_ptr<WhisperModel>> loaded_;
};

}  // namespace lumora::platform
