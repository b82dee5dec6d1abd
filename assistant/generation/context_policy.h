// Whether screen text and screenshots may be used on this machine. Pure predicates over the
// running macOS major version and the vision switch in the environment.
#pragma once

#include "platform/system.h"

namespace lumora {

namespace AssistantContextPolicy {

inline constexpr bool visionEnabledByDefault = false;

// Only LUMORA_ASSISTANT_VISION_ENABLED=1 turns vision on.
bool visionEnabled(platform::System& system);
bool supportsScreenText(int osMajor);
bool supportsCloudScreenText(int osMajor);
bool usesVision(bool sdkSupportsImages, int osMajor, bool enabled);

}  // namespace AssistantContextPolicy

namespace AssistantScreenSupport {
bool isAvailable(platform::System& system);
}

namespace AssistantImageSupport {
// Whether the on-device model receives the window screenshot; `modelTakesImages` is what the
// model says of image attachments.
bool isAvailable(platform::System& system, bool modelTakesImages);
}  // namespace AssistantImageSupport

}  // namespace lumora
