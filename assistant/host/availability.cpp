// What the helper can do on this machine, and the permission and settings commands behind the
// app's settings screen. The report reads no session state, so it may be sent at any time.
#include "assistant/generation/context_policy.h"
#include "assistant/host/assistant.h"
#include "assistant/host/event_output.h"
#include "assistant/speech/recognition_languages.h"
#include "runtime/bridge.h"

namespace lumora {

namespace {

constexpr std::string_view modelNeedsNewerSystem =
    "Requires macOS 26 or later and Apple Intelligence.";
constexpr std::string_view settingsPrefix =
    "x-apple.systempreferences:com.apple.preference.security?";

std::string_view settingsPane(std::string_view command) {
    if (command == "settings_microphone") return "Privacy_Microphone";
    if (command == "settings_speech") return "Privacy_SpeechRecognition";
    return "Privacy_ScreenCapture";
}

}  // namespace

void Assistant::availability() {
    auto& system = ports_.system;
    int major = system.osVersion().major;
    // Entries are read in this order, each at the moment of the call.
    std::string model =
        major >= 26 ? model_.availability().description : std::string(modelNeedsNewerSystem);
    int microphone = ports_.permissions.microphoneStatus();
    int recognition = ports_.permissions.speechRecognitionStatus();
    bool accessibility = ports_.permissions.accessibilityTrusted();
    bool screen = ports_.permissions.screenCapturePreflight();
    bool imageInput = AssistantScreenSupport::isAvailable(system);
    bool cloudScreenInput = AssistantContextPolicy::supportsCloudScreenText(major);
    json::Document speechLanguages = recognitionLanguages(ports_.speech, system);
    std::string speechRecognizer = ports_.speech.recognizerDescription();
    emit({
        {"id", 0},
        {"phase", "availability"},
        {"model", model},
        {"microphone", microphone},
        {"recognition", recognition},
        {"accessibility", accessibility},
        {"screen", screen},
        {"imageInput", imageInput},
        {"cloudScreenInput", cloudScreenInput},
        {"speechLanguages", std::move(speechLanguages)},
        // Which on-device recogniser answers: an addition the app may show or ignore.
        {"speechRecognizer", std::move(speechRecognizer)},
    });
}

Task<void> Assistant::askForMicrophone() {
    co_await callback<bool>([this](Completion<bool> done) {
        ports_.permissions.requestMicrophone([done](bool granted) { done(granted); });
    });
}

Task<void> Assistant::askForSpeechRecognition() {
    co_await callback<int>([this](Completion<int> done) {
        ports_.permissions.requestSpeechRecognition([done](int status) { done(status); });
    });
}

Task<void> Assistant::permissions() {
    co_await askForMicrophone();
    co_await askForSpeechRecognition();
    availability();
}

Task<void> Assistant::requestMicrophoneThenReport() {
    co_await askForMicrophone();
    availability();
}

Task<void> Assistant::requestSpeechThenReport() {
    co_await askForSpeechRecognition();
    availability();
}

void Assistant::requestScreenThenReport() {
    // The answer is not awaited: the user decides in System Settings, later.
    if (!ports_.permissions.screenCapturePreflight()) ports_.permissions.screenCaptureRequest();
    availability();
}

void Assistant::openSettingsPane(std::string_view command) {
    // A URL that cannot be formed or opened is ignored; the command sends no event either way.
    ports_.workspace.openURL(std::string(settingsPrefix) + std::string(settingsPane(command)));
}

}  // namespace lumora
