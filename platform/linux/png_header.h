// The PNG signature and IHDR chunk, read without touching any other chunk, so that an image's
// size can be known (and refused) before a single pixel is inflated.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace lumora::platform {

struct PngHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t bitDepth = 0;
    std::uint8_t colorType = 0;
    bool interlaced = false;
};

// None unless the bytes start with the PNG signature and a well-formed IHDR whose checksum
// matches.
std::optional<PngHeader> readPngHeader(std::string_view encoded);

}  // namespace lumora::platform
