// PNG images through libpng: properties from the header alone, decoding of every colour type
// and bit depth into 8-bit RGBA, of the whole image or of a crop, and encoding to bytes in
// memory. Samples are taken as stored, without gamma or colour-profile conversion: screenshots
// are already in the display's space, and recognition needs contrast, not colour accuracy.
#pragma once

#include <cstdint>

#include "platform/images.h"

namespace lumora::platform {

class PngImages final : public Images {
  public:
    // Both decodings refuse anything larger before inflating a pixel: 16384 pixels a side, and
    // 256 MiB of RGBA in all (64 Mi pixels, e.g. 8192 x 8192). That covers any screenshot of a
    // high-density display and keeps one hostile file from taking the process's memory.
    static constexpr std::uint32_t maxDecodedSide = 16384;
    static constexpr std::uint64_t maxDecodedBytes = std::uint64_t{256} << 20;

    std::optional<ImageProperties> properties(std::string_view encoded) override;
    std::optional<Image> decode(std::string_view encoded) override;
    std::optional<Image> decodeCrop(std::string_view encoded, PixelRect rect) override;
    std::optional<std::string> encodePng(const Image& image) override;
};

}  // namespace lumora::platform
