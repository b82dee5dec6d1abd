#include "assistant/generation/context_policy.h"

namespace lumora {

namespace AssistantContextPolicy {

bool visionEnabled(platform::System& system) {
    auto value = system.environment("LUMORA_ASSISTANT_VISION_ENABLED");
    return value ? *value == "1" : visionEnabledByDefault;
}

bool supportsScreenText(int osMajor) {
    return osMajor > 25;
}

bool supportsCloudScreenText(int osMajor) {
    return osMajor > 13;
}

bool usesVision(bool sdkSupportsImages, int osMajor, bool enabled) {
    return enabled && sdkSupportsImages && osMajor > 26;
}

}  // namespace AssistantContextPolicy

bool AssistantScreenSupport::isAvailable(platform::System& system) {
    return AssistantContextPolicy::supportsScreenText(system.osVersion().major);
}

bool AssistantImageSupport::isAvailable(platform::System& system, bool modelTakesImages) {
    int major = system.osVersion().major;
    if (major < 27) return false;
    return AssistantContextPolicy::usesVision(modelTakesImages, major,
                                              AssistantContextPolicy::visionEnabled(system));
}

}  // namespace lumora
