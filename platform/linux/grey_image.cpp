#include "platform/linux/grey_image.h"

#include <algorithm>
#include <cstdint>

namespace lumora::platform {

// Transparent margins read as paper. The engine expects dark text on a light background and,
// with its own inversion pass off (it doubles the time), a dark picture is inverted here instead.
GreyImage darkTextOnLight(const Image& image) {
    GreyImage grey{static_cast<int>(image.width), static_cast<int>(image.height),
                   std::vector<unsigned char>(std::size_t{image.width} * image.height)};
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < grey.pixels.size(); ++i) {
        const std::uint8_t* pixel = &image.rgba[i * 4];
        const unsigned luma = (299u * pixel[0] + 587u * pixel[1] + 114u * pixel[2]) / 1000u;
        const unsigned alpha = pixel[3];
        grey.pixels[i] = static_cast<unsigned char>((luma * alpha + 255u * (255u - alpha)) / 255u);
        total += grey.pixels[i];
    }
    if (total < std::uint64_t{128} * grey.pixels.size())
        for (auto& value : grey.pixels) value = static_cast<unsigned char>(255 - value);
    return grey;
}

GreyImage cropped(const GreyImage& image, const PixelBox& box) {
    GreyImage crop{box.right - box.left, box.bottom - box.top, {}};
    crop.pixels.resize(std::size_t(crop.width) * std::size_t(crop.height));
    for (int row = 0; row < crop.height; ++row) {
        const auto from =
            image.pixels.begin() +
            static_cast<std::ptrdiff_t>(std::size_t(box.top + row) * image.width + box.left);
        std::copy(from, from + crop.width,
                  crop.pixels.begin() + static_cast<std::ptrdiff_t>(std::size_t(row) * crop.width));
    }
    return crop;
}

}  // namespace lumora::platform
