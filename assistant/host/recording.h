// One recording: the microphone engine and its tap, where its buffers go (the on-device
// recognition or the Whisper stream to the app), the poll that watches for the key's release,
// and the gate that holds the final transcript until then. Destroying it stops all of it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "assistant/speech/transcript_gate.h"
#include "assistant/speech/whisper_audio_capture.h"
#include "platform/audio.h"
#include "platform/speech.h"
#include "runtime/event_loop.h"

namespace lumora {

class Recording {
  public:
    // `serial` tells this recording from the others of the same session.
    Recording(EventLoop& loop, std::uint64_t serial) : serial_(serial), releasePoll_(loop) {}
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Every buffer goes to the on-device recogniser; its results reach `handler` on any thread.
    void recognizeWith(std::unique_ptr<platform::SpeechRecognizer> recognizer,
                       platform::RecognitionHandler handler);
    // Every buffer goes to the app through `capture`.
    void streamTo(std::shared_ptr<WhisperAudioCapture> capture);
    // Taps the engine's input in `format` and starts it: the microphone is live. Throws
    // lumora::Error when the engine will not start.
    void startEngine(std::unique_ptr<platform::AudioEngine> engine, platform::AudioFormat format);
    // `tick` runs every `interval` seconds until the audio stops.
    void pollRelease(double interval, std::function<void()> tick);

    // Stops the microphone and the poll, and tells the recogniser the audio has ended.
    void stopAudio();
    // The user let go: the audio stops and the final transcript is awaited.
    void beginFinishing();

    std::uint64_t serial() const { return serial_; }
    bool isRecording() const { return recording_; }
    bool isFinishing() const { return finishing_; }
    TranscriptGate& gate() { return gate_; }
    WhisperAudioCapture* whisper() const { return whisperCapture_.get(); }

  private:
    const std::uint64_t serial_;
    Timer releasePoll_;
    std::unique_ptr<platform::AudioEngine> engine_;
    std::unique_ptr<platform::SpeechRecognizer> recognizer_;
    std::shared_ptr<platform::RecognitionRequest> audioRequest_;
    std::unique_ptr<platform::RecognitionTask> recognition_;
    // Shared with the tap, which may still be delivering a buffer as the engine stops.
    std::shared_ptr<WhisperAudioCapture> whisperCapture_;
    TranscriptGate gate_;
    bool recording_ = false;
    bool finishing_ = false;
};

}  // namespace lumora
