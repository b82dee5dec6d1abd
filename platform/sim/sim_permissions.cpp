#include "platform/sim/sim_permissions.h"

namespace lumora::sim {

namespace {

constexpr int notDetermined = 0;

// The status after a request: the user's answer when a prompt was due, else unchanged.
int requested(int& status, int answer) {
    if (status == notDetermined) status = answer;
    return status;
}

}  // namespace

int SimPermissions::microphoneStatus() {
    std::lock_guard lock(world_->mutex);
    return world_->permissions.microphone;
}

void SimPermissions::requestMicrophone(std::function<void(bool granted)> done) {
    int status;
    {
        std::lock_guard lock(world_->mutex);
        auto& permissions = world_->permissions;
        permissions.requests.emplace_back("microphone");
        status = requested(permissions.microphone, permissions.microphoneRequestResult);
    }
    done(status == platform::authorizationAuthorized);
}

int SimPermissions::speechRecognitionStatus() {
    std::lock_guard lock(world_->mutex);
    return world_->permissions.speechRecognition;
}

void SimPermissions::requestSpeechRecognition(std::function<void(int status)> done) {
    int status;
    {
        std::lock_guard lock(world_->mutex);
        auto& permissions = world_->permissions;
        permissions.requests.emplace_back("speechRecognition");
        status =
            requested(permissions.speechRecognition, permissions.speechRecognitionRequestResult);
    }
    done(status);
}

bool SimPermissions::accessibilityTrusted() {
    std::lock_guard lock(world_->mutex);
    return world_->permissions.accessibility;
}

bool SimPermissions::screenCapturePreflight() {
    std::lock_guard lock(world_->mutex);
    return world_->permissions.screenCapture;
}

bool SimPermissions::screenCaptureRequest() {
    std::lock_guard lock(world_->mutex);
    auto& permissions = world_->permissions;
    permissions.requests.emplace_back("screenCapture");
    // The prompt is only shown while access is missing; a granted access stays granted.
    if (permissions.screenCaptureRequestResult) permissions.screenCapture = true;
    return permissions.screenCapture;
}

}  // namespace lumora::sim
