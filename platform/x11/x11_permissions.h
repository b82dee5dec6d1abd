// Permissions on the real desktop. Linux asks no per-application consent for these, so each
// follows what actually works: accessibility while the accessibility bus answers with
// assistive technologies switched on, screen capture while the X server answers, the
// microphone while the sound server answers with a default source, speech recognition while a
// recognition model loads. What does not work is reported restricted rather than claimed: no
// prompt of this helper would change it.
#pragma once

#include <functional>

#include "platform/permissions.h"

namespace lumora::x11 {

class AccessibilityBusStatus;
class AtspiThread;

class X11Permissions final : public platform::Permissions {
  public:
    X11Permissions(AccessibilityBusStatus& status, const AtspiThread& accessibility,
                   std::function<bool()> displayAnswers, std::function<bool()> microphoneAnswers,
                   std::function<bool()> recognizerLoads)
        : status_(status),
          accessibility_(accessibility),
          displayAnswers_(std::move(displayAnswers)),
          microphoneAnswers_(std::move(microphoneAnswers)),
          recognizerLoads_(std::move(recognizerLoads)) {}

    int microphoneStatus() override;
    void requestMicrophone(std::function<void(bool granted)> done) override;
    int speechRecognitionStatus() override;
    void requestSpeechRecognition(std::function<void(int status)> done) override;
    bool accessibilityTrusted() override;
    bool screenCapturePreflight() override;
    bool screenCaptureRequest() override;

  private:
    AccessibilityBusStatus& status_;
    const AtspiThread& accessibility_;
    std::function<bool()> displayAnswers_;
    std::function<bool()> microphoneAnswers_;
    std::function<bool()> recognizerLoads_;
};

}  // namespace lumora::x11
