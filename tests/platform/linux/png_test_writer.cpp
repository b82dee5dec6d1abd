#include "tests/platform/linux/png_test_writer.h"

namespace lumora::fixtures {
namespace {

void append(png_structp png, png_bytep data, std::size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

void flush(png_structp) {}

// One byte per sample below 8 bits (libpng packs them), two big-endian bytes at 16.
std::vector<png_byte> sampleBytes(const PngSpec& spec) {
    std::vector<png_byte> bytes;
    for (std::uint16_t sample : spec.samples) {
        if (spec.bitDepth == 16) bytes.push_back(static_cast<png_byte>(sample >> 8));
        bytes.push_back(static_cast<png_byte>(sample & 0xff));
    }
    return bytes;
}

enum class Body { none, rows, blankRows };

bool write(png_structp png, png_infop info, const PngSpec& spec, Body body, png_bytepp rows,
           std::string& out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &out, append, flush);
    png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colorType,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!spec.palette.empty())
        png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
    if (!spec.paletteAlpha.empty())
        png_set_tRNS(png, info, spec.paletteAlpha.data(),
                     static_cast<int>(spec.paletteAlpha.size()), nullptr);
    if (spec.transparentColor) {
        png_color_16 color = *spec.transparentColor;
        png_set_tRNS(png, info, nullptr, 0, &color);
    }
    png_write_info(png, info);
    if (body == Body::none) return true;
    if (body == Body::blankRows) {
        // Every row is the same, so the first one stands for all of them.
        for (std::uint32_t y = 0; y < spec.height; ++y) png_write_row(png, rows[0]);
    } else {
        if (spec.bitDepth < 8) png_set_packing(png);
        if (spec.interlaced) png_set_interlace_handling(png);
        png_write_image(png, rows);
    }
    png_write_end(png, nullptr);
    return true;
}

std::string writeWith(const PngSpec& spec, Body body, std::vector<png_byte> bytes,
                      std::size_t stride) {
    std::vector<png_bytep> rows(spec.height);
    for (std::uint32_t y = 0; y < spec.height && body == Body::rows; ++y)
        rows[y] = bytes.data() + y * stride;
    if (body == Body::blankRows) rows[0] = bytes.data();

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::string out;
    const bool written = write(png, info, spec, body, rows.data(), out);
    png_destroy_write_struct(&png, &info);
    return written ? out : std::string();
}

}  // namespace

std::string writePng(const PngSpec& spec) {
    auto bytes = sampleBytes(spec);
    const std::size_t stride = bytes.size() / spec.height;
    return writeWith(spec, Body::rows, std::move(bytes), stride);
}

std::string writePngHeader(const PngSpec& spec) {
    return writeWith(spec, Body::none, {}, 0);
}

std::string writeBlankPng(std::uint32_t width, std::uint32_t height) {
    const PngSpec spec(PNG_COLOR_TYPE_GRAY, 1, false, width, height);
    const std::size_t packedRow = (std::size_t{width} + 7) / 8;
    return writeWith(spec, Body::blankRows, std::vector<png_byte>(packedRow), packedRow);
}

}  // namespace lumora::fixtures
