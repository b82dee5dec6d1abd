#include "platform/sim/window_image.h"

#include <algorithm>

#include "runtime/atomic_file.h"

namespace lumora::sim {

namespace {

platform::Image filled(const SolidFill& fill) {
    platform::Image image{fill.width, fill.height, {}};
    image.rgba.reserve(std::size_t{fill.width} * fill.height * 4);
    for (std::size_t pixel = 0; pixel < std::size_t{fill.width} * fill.height; ++pixel) {
        image.rgba.insert(image.rgba.end(), fill.rgba.begin(), fill.rgba.end());
    }
    return image;
}

}  // namespace

std::optional<platform::Image> renderImage(const WindowImage& image, platform::Images& images) {
    if (const auto* fill = std::get_if<SolidFill>(&image)) return filled(*fill);
    auto bytes = files::readAll(std::get<PngFile>(image).path);
    if (!bytes) return std::nullopt;
    return images.decode(*bytes);
}

platform::Image scaledTo(const platform::Image& image, std::uint32_t width, std::uint32_t height) {
    if (image.width == width && image.height == height) return image;
    platform::Image result{width, height,
                           std::vector<std::uint8_t>(std::size_t{width} * height * 4)};
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

}  // namespace lumora::sim
