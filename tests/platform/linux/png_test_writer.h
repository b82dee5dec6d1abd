// Writes PNG files in any colour type, bit depth and interlacing straight through libpng, so
// that the decoder is checked against files it did not produce itself.
#pragma once

#include <png.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumora::fixtures {

struct PngSpec {
    PngSpec(int colorType, int bitDepth, bool interlaced, std::uint32_t width, std::uint32_t height)
        : colorType(colorType),
          bitDepth(bitDepth),
          interlaced(interlaced),
          width(width),
          height(height) {}

    int colorType;
    int bitDepth;
    bool interlaced;
    std::uint32_t width;
    std::uint32_t height;
    // Channel values at `bitDepth`, pixel after pixel, rows top to bottom; palette indices for
    // palette images.
    std::vector<std::uint16_t> samples;
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;
    std::optional<png_color_16> transparentColor;
};

// Empty when libpng refuses the described image.
std::string writePng(const PngSpec& spec);

// The signature and the header chunks alone, without any pixel data.
std::string writePngHeader(const PngSpec& spec);

// A valid all-black 1-bit grey image of any size, written a row at a time so that even one
// past the decoder's limits costs little memory to produce.
std::string writeBlankPng(std::uint32_t width, std::uint32_t height);

}  // namespace lumora::fixtures
