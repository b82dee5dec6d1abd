// Images: PNG properties read from the header alone, decoding, decoding of a crop and PNG
// encoding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumora::platform {

// 8-bit RGBA pixels, rows top to bottom.
struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba;
    bool operator==(const Image&) const = default;
};

struct ImageProperties {
    std::uint64_t pixelWidth = 0;
    std::uint64_t pixelHeight = 0;
};

// A pixel rectangle with a top-left origin.
struct PixelRect {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
};

class Images {
  public:
    virtual ~Images() = default;
    // From the header only; no pixel is decoded. None when the bytes are not an image.
    virtual std::optional<ImageProperties> properties(std::string_view encoded) = 0;
    virtual std::optional<Image> decode(std::string_view encoded) = 0;
    // The pixels inside `rect`, without ever holding the whole image. Every row is still
    // decoded and checked, so the answer for a damaged file is the same as decode()'s whatever
    // the rectangle. None when decode() would give none; otherwise an empty (0 x 0) image when
    // the rectangle is empty or not inside the image.
    virtual std::optional<Image> decodeCrop(std::string_view encoded, PixelRect rect) = 0;
    virtual std::optional<std::string> encodePng(const Image& image) = 0;
};

}  // namespace lumora::platform
