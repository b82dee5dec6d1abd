// The on-device language model where this platform has no engine for it: reported unavailable,
// so local requests get the assistant's refusal and cloud requests are unaffected.
#pragma once

#include "platform/language_model.h"

namespace lumora::platform {

class UnavailableLanguageModel final : public LanguageModel {
  public:
    ModelAvailability availability() override { return {false, "unavailable(deviceNotEligible)"}; }
    bool supportsImageAttachments() override { return false; }
    // Never reached while the model is unavailable; a caller that asks anyway gets a session
    // whose every answer is the failure.
    std::unique_ptr<LanguageModelSession> makeSession(ModelConfiguration configuration,
                                                      const std::string& instructions) override;
};

}  // namespace lumora::platform
