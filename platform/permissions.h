// Privacy permissions: status, preflight and request. Requests complete on any thread.
#pragma once

#include <functional>

namespace lumora::platform {

// Raw platform values. Microphone: 0 not determined, 1 restricted, 2 denied, 3 authorized.
// Speech recognition: 0 not determined, 1 denied, 2 restricted, 3 authorized.
inline constexpr int authorizationAuthorized = 3;

class Permissions {
  public:
    virtual ~Permissions() = default;

    virtual int microphoneStatus() = 0;
    virtual void requestMicrophone(std::function<void(bool granted)> done) = 0;
    virtual int speechRecognitionStatus() = 0;
    virtual void requestSpeechRecognition(std::function<void(int status)> done) = 0;
    // Checked without prompting.
    virtual bool accessibilityTrusted() = 0;
    virtual bool screenCapturePreflight() = 0;
    // Asks for Screen Recording; the answer is whatever the platform returns at once.
    virtual bool screenCaptureRequest() = 0;
};

}  // namespace lumora::platform
