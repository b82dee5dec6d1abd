#include "assistant/host/recording.h"

namespace lumora {

namespace {

// The microphone's buffer size: about 21 ms at 48 kHz.
constexpr std::uint32_t tapFrames = 1024;

}  // namespace

Recording::~Recording() {
    if (whisperCapture_) whisperCapture_->cancel();
    // Cancelled before the audio ends, so the recogniser reports nothing for a recording that
    // is being thrown away.
    if (recognition_) recognition_->cancel();
    stopAudio();
}

void Recording::recognizeWith(std::unique_ptr<platform::SpeechRecognizer> recognizer,
                              platform::RecognitionHandler handler) {
    recognizer_ = std::move(recognizer);
    audioRequest_ = recognizer_->makeRequest();
    recognition_ = recognizer_->start(audioRequest_, std::move(handler));
}

void Recording::streamTo(std::shared_ptr<WhisperAudioCapture> capture) {
    whisperCapture_ = std::move(capture);
}

void Recording::startEngine(std::unique_ptr<platform::AudioEngine> engine,
                            platform::AudioFormat format) {
    engine_ = std::move(engine);
    engine_->installTap(
        tapFrames, format,
        [request = audioRequest_, whisper = whisperCapture_](const platform::AudioBuffer& buffer) {
            if (request) request->append(buffer);
            if (whisper) whisper->append(buffer);
        });
    engine_->start();
    recording_ = true;
}

void Recording::pollRelease(double interval, std::function<void()> tick) {
    releasePoll_.startRepeating(interval, std::move(tick));
}

void Recording::stopAudio() {
    releasePoll_.stop();
    if (engine_) {
        engine_->stop();
        engine_->removeTap();
        engine_.reset();
    }
    if (audioRequest_) audioRequest_->endAudio();
    recording_ = false;
}

void Recording::beginFinishing() {
    finishing_ = true;
    stopAudio();
}

}  // namespace lumora
