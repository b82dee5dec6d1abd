// Speech recognition: supported locales, an on-device recogniser per locale, and recognition
// of buffered audio with partial and final results.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio.h"

namespace lumora::platform {

struct RecognitionSegment {
    double timestamp = 0;
    double duration = 0;
};

struct RecognitionResult {
    std::string formattedString;  // of the best transcription
    std::vector<RecognitionSegment> segments;
    bool isFinal = false;
    bool hasSpeechRecognitionMetadata = false;
};

// Feeds microphone buffers to a recognition task; safe to call on the audio thread.
class RecognitionRequest {
  public:
    virtual ~RecognitionRequest() = default;
    virtual void append(const AudioBuffer& buffer) = 0;
    virtual void endAudio() = 0;
};

class RecognitionTask {
  public:
    virtual ~RecognitionTask() = default;
    virtual void cancel() = 0;
};

// Called on any thread with a result, or with an error description and no result.
using RecognitionHandler = std::function<void(const std::optional<RecognitionResult>& result,
                                              const std::optional<std::string>& error)>;

class SpeechRecognizer {
  public:
    virtual ~SpeechRecognizer() = default;
    virtual bool isAvailable() = 0;
    virtual bool supportsOnDeviceRecognition() = 0;
    // A request that requires on-device recognition and reports partial results.
    virtual std::shared_ptr<RecognitionRequest> makeRequest() = 0;
    virtual std::unique_ptr<RecognitionTask> start(std::shared_ptr<RecognitionRequest> request,
                                                   RecognitionHandler handler) = 0;
};

class Speech {
  public:
    virtual ~Speech() = default;
    // Locale identifiers such as "en_US".
    virtual std::vector<std::string> supportedLocales() = 0;
    // None when no recogniser exists for the locale.
    virtual std::unique_ptr<SpeechRecognizer> recognizer(const std::string& localeIdentifier) = 0;
    // Which recogniser this is, and with which model, for the status report; what is wrong with
    // it when it cannot run.
    virtual std::string recognizerDescription() = 0;
};

}  // namespace lumora::platform
