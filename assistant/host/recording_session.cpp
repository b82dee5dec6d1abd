// A spoken request: the microphone runs while the user holds the key, the transcript is
// awaited once they let go, and then goes into their field, onto the clipboard, or to the
// model as an Assistant request.
#include <cmath>

#include "assistant/hold/hold_keys.h"
#include "assistant/host/assistant.h"
#include "assistant/host/event_output.h"
#include "assistant/screen/window_capture.h"
#include "assistant/speech/local_recognizer.h"
#include "runtime/text.h"

namespace lumora {

namespace {

constexpr std::string_view microphoneNeeded =
    "Enable Microphone in Lumora’s Permissions section, then hold the shortcut again.";
constexpr std::string_view speechRecognitionNeeded =
    "Enable Speech Recognition in Lumora’s Permissions section, then hold the shortcut again.";
constexpr std::string_view accessibilityNeeded =
    "Enable Accessibility for Lumora to insert text into your app.";
constexpr std::string_view startingMicrophone = "Starting microphone…";
constexpr std::string_view noMicrophoneInput = "No microphone input is available.";
constexpr std::string_view microphoneFailed = "Could not start microphone: ";
constexpr std::string_view listeningForRequest = "Listening to your request… Release to ask.";
constexpr std::string_view listening = "Listening… Release to transcribe.";
constexpr std::string_view recordingTooLong =
    "Recording reached 90 seconds. Release and try a shorter recording.";
constexpr std::string_view transcriptionFailed = "Transcription failed: ";
constexpr std::string_view transcribing = "Transcribing on this Mac…";
constexpr std::string_view whisperUnfinished =
    "Transcription did not finish. Your preview is available to copy.";
constexpr std::string_view transcriptionUnfinished =
    "Transcription did not finish. Try a shorter recording.";
constexpr std::string_view whisperFailed = "Whisper transcription failed.";
constexpr std::string_view noSpeech = "No speech detected. Hold the shortcut and try again.";
constexpr std::string_view preparingVisualContext = "Preparing visual context…";
constexpr std::string_view visualContextFailed = "Could not capture visual context: ";
constexpr std::string_view transcriptCopied = "Transcript copied.";
constexpr std::string_view replacedByDictation = "Replaced by dictation";
constexpr const char* defaultLanguage = "en-US";
// Keys the hold monitor watches itself; it tells the app of their release, which sends "stop".
constexpr std::string_view monitoredKeyPrefix = "Hold:";

constexpr double releasePollInterval = 0.04;
constexpr double recordingLimit = 90;
constexpr double onDeviceTranscriptionLimit = 12;
constexpr double whisperTranscriptionLimit = 120;

}  // namespace

void Assistant::start(const Request& request) {
    const bool assistantMode = request.isAssistantMode();
    if (!assistantMode) interruptAudit("interrupted", replacedByDictation);
    cancel(true);
    session_.id = request.id;
    session_.request = request;
    session_.result.clear();
    session_.whisperPreview.clear();
    session_.context.clear();
    session_.screenImage.reset();
    session_.target = std::make_shared<Target>(ports_, loop_, clipboard_);
    session_.target->trace("target-captured", 0);
    if (assistantMode) {
        session_.context = sourceReference();
        if (session_.audit) session_.audit->input("source", sourceAppName());
    } else {
        session_.audit.reset();
    }
    if (!permitsRecording(request)) return;
    event("processing", startingMicrophone);

    std::unique_ptr<platform::SpeechRecognizer> recognizer;
    if (!request.usesWhisper()) {
        try {
            recognizer = localRecognizer(ports_.speech, ports_.permissions,
                                         request.language.value_or(defaultLanguage));
        } catch (const Error& error) {
            event("error", error.description);
            return;
        }
    }
    if (assistantMode && request.provider != AssistantProvider::cloud && !onDeviceModelReady()) {
        return;
    }
    Recording& recording = work_.beginRecording();
    if (!startMicrophone(recording, std::move(recognizer))) return;
    if (assistantMode) prepareScreenContext();
    event("recording", assistantMode ? listeningForRequest : listening);

    // The hold monitor watches its own keys and tells the app, which sends "stop".
    if (!request.key || !request.key->starts_with(monitoredKeyPrefix)) {
        recording.pollRelease(releasePollInterval,
                              [this, id = session_.id, key = keyCode(request.key.value_or("")),
                               flags = requiredFlags(request.modifiers.value_or(""))] {
                                  checkRelease(id, key, flags);
                              });
    }
    work_.armDeadline(recordingLimit, [this, id = session_.id] {
        if (session_.id != id) return;
        cancel(true);
        event("error", recordingTooLong);
    });
}

bool Assistant::permitsRecording(const Request& request) {
    auto& permissions = ports_.permissions;
    std::optional<std::string_view> refusal;
    if (permissions.microphoneStatus() != platform::authorizationAuthorized) {
        refusal = microphoneNeeded;
    } else if (!request.usesWhisper() &&
               permissions.speechRecognitionStatus() != platform::authorizationAuthorized) {
        refusal = speechRecognitionNeeded;
    } else if (!(request.output == "copy" && !request.isAssistantMode()) &&
               !permissions.accessibilityTrusted()) {
        refusal = accessibilityNeeded;
    }
    if (refusal) event("error", *refusal);
    return !refusal;
}

platform::RecognitionHandler Assistant::recognitionHandler(std::uint64_t recordingSerial) {
    std::weak_ptr<Assistant*> weak = lifetime_;
    EventLoop& loop = loop_;
    const std::uint64_t requestID = session_.id;
    return [weak, &loop, requestID, recordingSerial](
               const std::optional<platform::RecognitionResult>& result,
               const std::optional<std::string>& error) {
        loop.post([weak, requestID, recordingSerial, result, error] {
            if (auto self = weak.lock()) {
                (*self)->recognized(requestID, recordingSerial, result, error);
            }
        });
    };
}

bool Assistant::startMicrophone(Recording& recording,
                                std::unique_ptr<platform::SpeechRecognizer> recognizer) {
    auto fail = [this](std::string_view message) {
        cancel(true);
        event("error", message);
        return false;
    };
    try {
        if (recognizer) {
            recording.recognizeWith(std::move(recognizer), recognitionHandler(recording.serial()));
        }
        std::unique_ptr<platform::AudioEngine> engine = ports_.audio.createEngine();
        const platform::AudioFormat format = engine->inputFormat();
        if (!(format.sampleRate > 0) || format.channels == 0) return fail(noMicrophoneInput);
        if (session_.request->usesWhisper()) {
            recording.streamTo(
                std::make_shared<WhisperAudioCapture>(format, session_.id, ports_.audioConversion));
        }
        try {
            recording.startEngine(std::move(engine), format);
        } catch (const Error& error) {
            return fail(std::string(microphoneFailed) + error.description);
        }
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    return true;
}

void Assistant::prepareScreenContext() {
    std::optional<std::uint32_t> windowID = session_.target->windowID();
    if (!supportsScreenContext() || !ports_.permissions.screenCapturePreflight() || !windowID) {
        return;
    }
    auto capture = [&screenCapture = ports_.screenCapture,
                    audit = session_.audit](std::uint32_t window) -> Task<platform::Image> {
        platform::Image image = co_await ScreenCapture::window(screenCapture, window);
        if (audit) audit->screenshot(image);
        co_return image;
    };
    work_.prepareScreen(
        std::make_unique<PreparedScreenContext>(loop_, session_.id, *windowID, capture));
}

void Assistant::checkRelease(std::uint64_t id, std::optional<std::uint16_t> key,
                             platform::EventFlags flags) {
    Recording* recording = work_.recording();
    if (session_.id != id || !recording || !recording->isRecording()) return;
    const platform::EventFlags down = ports_.keyboard.sessionFlags();
    const bool allFlagsDown = (down & flags) == flags;
    if (!allFlagsDown || (key && !ports_.keyboard.isKeyDown(*key))) finishRecording();
}

void Assistant::recognized(std::uint64_t requestID, std::uint64_t recordingSerial,
                           const std::optional<platform::RecognitionResult>& result,
                           const std::optional<std::string>& error) {
    // The recording as well as the session id: a session may record again under the same id
    // while the recogniser of the recording it replaced is still reporting.
    Recording* recording = work_.recording();
    if (session_.id != requestID || !recording || recording->serial() != recordingSerial ||
        (!recording->isRecording() && !recording->isFinishing())) {
        return;
    }
    if (!result) {
        cancel(true);
        event("error", std::string(transcriptionFailed) + error.value_or(""));
        return;
    }
    std::optional<double> start;
    std::optional<double> end;
    if (!result->segments.empty()) {
        start = result->segments.front().timestamp;
        end = result->segments.back().timestamp + result->segments.back().duration;
    }
    std::optional<std::string> transcript = recording->gate().recognized(
        result->formattedString, result->isFinal, start, end, result->hasSpeechRecognitionMetadata);
    if (transcript) {
        completeTranscript(*transcript);
    } else if (recording->isRecording()) {
        event("recording", listening, recording->gate().text());
    }
}

void Assistant::finishRecording() {
    Recording* recording = work_.recording();
    if (!recording || !recording->isRecording() || recording->isFinishing()) return;
    recording->beginFinishing();
    event("processing", transcribing, session_.whisperPreview);
    const std::uint64_t id = session_.id;
    if (session_.request->usesWhisper()) {
        recording->whisper()->finish();
        work_.armDeadline(whisperTranscriptionLimit, [this, id] {
            if (session_.id != id || !work_.isRecordingOrFinishing()) return;
            std::string preview = session_.whisperPreview;
            cancel(true);
            session_.result = preview;
            event("error", whisperUnfinished, preview);
        });
        return;
    }
    if (std::optional<std::string> transcript = recording->gate().release()) {
        completeTranscript(*transcript);
        return;
    }
    work_.armDeadline(onDeviceTranscriptionLimit, [this, id] {
        if (session_.id != id || !work_.isRecordingOrFinishing()) return;
        cancel(true);
        event("error", transcriptionUnfinished);
    });
}

void Assistant::receiveWhisper(const Request& request) {
    Recording* recording = work_.recording();
    if (request.id != session_.id || !recording || !session_.request ||
        !session_.request->usesWhisper()) {
        return;
    }
    const std::string text = request.text.value_or("");
    if (request.command == "whisper_partial") {
        if (!recording->isRecording()) return;
        session_.whisperPreview = text;
        event("recording", listening, session_.whisperPreview);
    } else if (request.command == "whisper_result") {
        if (recording->isFinishing()) completeTranscript(text);
    } else if (recording->isRecording() || recording->isFinishing()) {
        std::string preview = session_.whisperPreview;
        cancel(true);
        session_.result = preview;
        event("error", text.empty() ? whisperFailed : std::string_view(text), preview);
    }
}

void Assistant::completeTranscript(const std::string& text) {
    const std::string transcript(text::trimWhitespaceAndNewlines(text));
    const bool assistantMode = session_.request && session_.request->isAssistantMode();
    // An empty transcript ends the session, prepared capture and all; any other keeps the
    // capture for the request it becomes.
    cancel(transcript.empty());
    if (transcript.empty()) {
        event("error", noSpeech);
        return;
    }
    if (session_.target) session_.target->trace("transcribed", text::characterCount(transcript));
    if (assistantMode) {
        askSpoken(transcript);
        return;
    }
    event("transcript", "", transcript);
    session_.result = transcript;
    if (session_.request->output == "copy") {
        ports_.pasteboard.clearContents();
        ports_.pasteboard.setString(transcript);
        event("result", transcriptCopied, "", "copied");
    } else {
        insertResult();
    }
}

void Assistant::askSpoken(const std::string& transcript) {
    if (session_.audit) {
        session_.audit->input("transcript", transcript);
        session_.audit->input("request", transcript);
    }
    if (supportsScreenContext() && work_.screenPreparation()) {
        event("capturing_screen", preparingVisualContext);
        work_.startGeneration(collectPreparedScreen(session_.id, transcript));
    } else if (supportsScreenContext() && session_.target && session_.target->windowID()) {
        captureScreen(false, transcript);
    } else {
        generate(transcript, std::nullopt);
    }
}

Task<void> Assistant::collectPreparedScreen(std::uint64_t id, std::string transcript) {
    std::optional<platform::Image> image;
    std::optional<std::string> failure;
    PreparedScreenContext* preparation = work_.screenPreparation();
    if (!preparation) co_return;
    try {
        image = co_await preparation->value(id);
    } catch (const Cancelled&) {
        co_return;
    } catch (const std::exception& error) {
        failure = error.what();
    }
    const bool cancelled = co_await isCancelled();
    if (cancelled || session_.id != id) co_return;
    if (failure) {
        work_.dropScreenPreparation();
        event("error", std::string(visualContextFailed) + *failure);
    } else if (image) {
        work_.dropScreenPreparation();
        generate(transcript, std::move(image));
    }
}

}  // namespace lumora
