// The one-channel page the OCR engines read: dark text on a light background, one byte a pixel,
// rows top to bottom.
#pragma once

#include <vector>

#include "platform/images.h"
#include "platform/linux/pixel_box.h"

namespace lumora::platform {

struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;
};

// Luminance composited over white; a mostly dark picture is inverted so that its text is dark.
GreyImage darkTextOnLight(const Image& image);

// The pixels inside `box`, which must lie within the image.
GreyImage cropped(const GreyImage& image, const PixelBox& box);

}  // namespace lumora::platform
