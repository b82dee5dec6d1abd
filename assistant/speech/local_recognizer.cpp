#include "assistant/speech/local_recognizer.h"

#include "runtime/error.h"

namespace lumora {

namespace {

constexpr int speechAuthorized = 3;
constexpr const char* permissionMissing = "Enable Speech Recognition permission first.";
constexpr const char* unavailable =
    "On-device speech recognition is unavailable for this language. Check macOS speech language "
    "assets.";

}  // namespace

std::unique_ptr<platform::SpeechRecognizer> localRecognizer(platform::Speech& speech,
                                                            platform::Permissions& permissions,
                                                            const std::string& language) {
    if (permissions.speechRecognitionStatus() != speechAuthorized) {
        throw Error("Lumora", 1, permissionMissing);
    }
    std::unique_ptr<platform::SpeechRecognizer> recognizer = speech.recognizer(language);
    if (!recognizer || !recognizer->isAvailable() || !recognizer->supportsOnDeviceRecognition()) {
        throw Error("Lumora", 2, unavailable);
    }
    return recognizer;
}

}  // namespace lumora
