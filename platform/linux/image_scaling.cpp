#include "platform/linux/image_scaling.h"

#include <algorithm>

namespace lumora::platform {

Image scaledTo(const Image& image, std::uint32_t width, std::uint32_t height) {
    if (image.width == width && image.height == height) return image;
    Image result{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4)};
    if (image.width == 0 || image.height == 0) return result;
    for (std::uint32_t y = 0; y < height; ++y) {
        std::size_t sourceY = std::size_t{y} * image.height / height;
        for (std::uint32_t x = 0; x < width; ++x) {
            std::size_t sourceX = std::size_t{x} * image.width / width;
            const std::uint8_t* from = &image.rgba[(sourceY * image.width + sourceX) * 4];
            std::copy(from, from + 4, &result.rgba[(std::size_t{y} * width + x) * 4]);
        }
    }
    return result;
}

}  // namespace lumora::platform
