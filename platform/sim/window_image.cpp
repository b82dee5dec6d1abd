#include "platform/sim/window_image.h"

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

}  // namespace lumora::sim
