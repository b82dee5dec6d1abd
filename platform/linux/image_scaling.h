// Resampling a captured picture to the size a capture asks for, as a window server scales a
// window into the capture's configured size.
#pragma once

#include <cstdint>

#include "platform/images.h"

namespace lumora::platform {

// The picture resampled (nearest neighbour) to `width` by `height`.
Image scaledTo(const Image& image, std::uint32_t width, std::uint32_t height);

}  // namespace lumora::platform
