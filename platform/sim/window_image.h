// What a window shows, as a scenario describes it: a PNG file, or a plain fill of a given size,
// which keeps a scenario self-contained when the pixels do not matter. New kinds of picture
// join the variant.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "platform/images.h"

namespace lumora::sim {

struct PngFile {
    std::string path;
};

struct SolidFill {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::array<std::uint8_t, 4> rgba{};
};

using WindowImage = std::variant<PngFile, SolidFill>;

// The picture's pixels; none when its file cannot be read or decoded.
std::optional<platform::Image> renderImage(const WindowImage& image, platform::Images& images);

}  // namespace lumora::sim
