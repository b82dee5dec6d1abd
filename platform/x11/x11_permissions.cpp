#include "platform/x11/x11_permissions.h"

#include "platform/x11/accessibility_bus_status.h"
#include "platform/x11/atspi_thread.h"

namespace lumora::x11 {

namespace {
constexpr int microphoneRestricted = 1;
constexpr int speechRestricted = 2;
}  // namespace

int X11Permissions::microphoneStatus() {
    return microphoneAnswers_() ? platform::authorizationAuthorized : microphoneRestricted;
}

// Nothing to prompt for: the answer is what works now.
void X11Permissions::requestMicrophone(std::function<void(bool granted)> done) {
    done(microphoneStatus() == platform::authorizationAuthorized);
}

int X11Permissions::speechRecognitionStatus() {
    return recognizerLoads_() ? platform::authorizationAuthorized : speechRestricted;
}

void X11Permissions::requestSpeechRecognition(std::function<void(int status)> done) {
    done(speechRecognitionStatus());
}

bool X11Permissions::accessibilityTrusted() {
    return accessibility_.connected() && status_.isEnabled().value_or(false);
}

bool X11Permissions::screenCapturePreflight() {
    return displayAnswers_();
}

// Nothing to prompt for: capture works exactly when the server answers.
bool X11Permissions::screenCaptureRequest() {
    return displayAnswers_();
}

}  // namespace lumora::x11
