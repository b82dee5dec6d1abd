#include "platform/linux/png_images.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <limits>

#include "platform/linux/png_header.h"
#include "tests/platform/linux/png_test_writer.h"

namespace lumora::platform {
namespace {

using fixtures::PngSpec;

std::optional<std::pair<std::uint64_t, std::uint64_t>> sizeOf(
    const std::optional<ImageProperties>& properties) {
    if (!properties) return std::nullopt;
    return std::pair{properties->pixelWidth, properties->pixelHeight};
}

// A file's samples follow a pattern; the expected RGBA is what those samples mean by the
// format's rules, worked out here independently of libpng's transformations.
struct FormatCase {
    const char* name;
    int colorType;
    int bitDepth;
    bool interlaced = false;
    bool transparency = false;  // a tRNS chunk: a colour key, or palette alphas
};

constexpr std::uint32_t caseWidth = 7;
constexpr std::uint32_t caseHeight = 5;

std::uint16_t sampleAt(int depth, unsigned pattern) {
    return static_cast<std::uint16_t>(depth == 16 ? (pattern % 256) * 257
                                                  : pattern % (1u << depth));
}

std::uint8_t eightBit(int depth, std::uint16_t sample) {
    return static_cast<std::uint8_t>(depth == 16 ? sample / 257
                                                 : sample * 255 / ((1u << depth) - 1));
}

struct Sample {
    PngSpec spec;
    Image expected;
};

Sample unfilled(const FormatCase& format) {
    return {PngSpec(format.colorType, format.bitDepth, format.interlaced, caseWidth, caseHeight),
            {caseWidth, caseHeight, {}}};
}

Sample paletteSample(const FormatCase& format) {
    Sample sample = unfilled(format);
    const unsigned entries = 1u << format.bitDepth;
    for (unsigned k = 0; k < entries; ++k)
        sample.spec.palette.push_back({static_cast<png_byte>(k * 40 % 256),
                                       static_cast<png_byte>(255 - k * 13 % 256),
                                       static_cast<png_byte>(k * 7 % 256)});
    // Shorter than the palette, as files usually have it: the remaining entries are opaque.
    if (format.transparency)
        for (unsigned k = 0; k < entries / 2 + 1; ++k)
            sample.spec.paletteAlpha.push_back(static_cast<png_byte>(k * 50 % 256));
    for (unsigned i = 0; i < caseWidth * caseHeight; ++i) {
        const unsigned index = i * 37 % entries;
        sample.spec.samples.push_back(static_cast<std::uint16_t>(index));
        const png_color& colour = sample.spec.palette[index];
        const auto& alphas = sample.spec.paletteAlpha;
        sample.expected.rgba.insert(sample.expected.rgba.end(),
                                    {colour.red, colour.green, colour.blue,
                                     index < alphas.size() ? alphas[index] : png_byte{255}});
    }
    return sample;
}

Sample directSample(const FormatCase& format) {
    Sample sample = unfilled(format);
    const bool colour = (format.colorType & PNG_COLOR_MASK_COLOR) != 0;
    const bool alpha = (format.colorType & PNG_COLOR_MASK_ALPHA) != 0;
    const unsigned channels = (colour ? 3 : 1) + (alpha ? 1 : 0);
    const unsigned pixels = caseWidth * caseHeight;
    for (unsigned i = 0; i < pixels; ++i)
        for (unsigned c = 0; c < channels; ++c)
            sample.spec.samples.push_back(sampleAt(format.bitDepth, i * 29 + c * 71 + 3));
    // The key is the second pixel's colour, so that at least one pixel is transparent.
    const std::uint16_t* key = &sample.spec.samples[channels];
    if (format.transparency)
        sample.spec.transparentColor =
            colour ? png_color_16{0, key[0], key[1], key[2], 0} : png_color_16{0, 0, 0, 0, key[0]};
    for (unsigned i = 0; i < pixels; ++i) {
        const std::uint16_t* pixel = &sample.spec.samples[i * channels];
        const unsigned colourChannels = colour ? 3 : 1;
        for (unsigned c = 0; c < 3; ++c)
            sample.expected.rgba.push_back(eightBit(format.bitDepth, pixel[colour ? c : 0]));
        const bool keyed = format.transparency && std::equal(pixel, pixel + colourChannels, key);
        sample.expected.rgba.push_back(alpha   ? eightBit(format.bitDepth, pixel[colourChannels])
                                       : keyed ? 0
                                               : 255);
    }
    return sample;
}

class PngDecodeTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PngDecodeTest, decodesEveryFormatToEightBitRgba) {
    const FormatCase& format = GetParam();
    const Sample sample =
        format.colorType == PNG_COLOR_TYPE_PALETTE ? paletteSample(format) : directSample(format);
    const std::string encoded = fixtures::writePng(sample.spec);
    ASSERT_FALSE(encoded.empty());
    PngImages images;
    EXPECT_EQ(sizeOf(images.properties(encoded)),
              std::pair(std::uint64_t{caseWidth}, std::uint64_t{caseHeight}));
    EXPECT_EQ(images.decode(encoded), sample.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PngDecodeTest,
    ::testing::Values(
        FormatCase{"grey1", PNG_COLOR_TYPE_GRAY, 1}, FormatCase{"grey2", PNG_COLOR_TYPE_GRAY, 2},
        FormatCase{"grey4", PNG_COLOR_TYPE_GRAY, 4}, FormatCase{"grey8", PNG_COLOR_TYPE_GRAY, 8},
        FormatCase{"grey16", PNG_COLOR_TYPE_GRAY, 16},
        FormatCase{"grey4Keyed", PNG_COLOR_TYPE_GRAY, 4, false, true},
        FormatCase{"grey16Keyed", PNG_COLOR_TYPE_GRAY, 16, false, true},
        FormatCase{"greyAlpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8},
        FormatCase{"greyAlpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16},
        FormatCase{"rgb8", PNG_COLOR_TYPE_RGB, 8}, FormatCase{"rgb16", PNG_COLOR_TYPE_RGB, 16},
        FormatCase{"rgb8Keyed", PNG_COLOR_TYPE_RGB, 8, false, true},
        FormatCase{"rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8},
        FormatCase{"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16},
        FormatCase{"palette1", PNG_COLOR_TYPE_PALETTE, 1},
        FormatCase{"palette2", PNG_COLOR_TYPE_PALETTE, 2},
        FormatCase{"palette4", PNG_COLOR_TYPE_PALETTE, 4},
        FormatCase{"palette8", PNG_COLOR_TYPE_PALETTE, 8},
        FormatCase{"palette2Translucent", PNG_COLOR_TYPE_PALETTE, 2, false, true},
        FormatCase{"palette8Translucent", PNG_COLOR_TYPE_PALETTE, 8, false, true},
        FormatCase{"grey1Interlaced", PNG_COLOR_TYPE_GRAY, 1, true},
        FormatCase{"palette4TranslucentInterlaced", PNG_COLOR_TYPE_PALETTE, 4, true, true},
        FormatCase{"greyAlpha16Interlaced", PNG_COLOR_TYPE_GRAY_ALPHA, 16, true},
        FormatCase{"rgb16KeyedInterlaced", PNG_COLOR_TYPE_RGB, 16, true, true},
        FormatCase{"rgba8Interlaced", PNG_COLOR_TYPE_RGB_ALPHA, 8, true}),
    [](const auto& info) { return std::string(info.param.name); });

Image patterned(std::uint32_t width, std::uint32_t height) {
    Image image{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4)};
    for (std::size_t i = 0; i < image.rgba.size(); ++i)
        image.rgba[i] = static_cast<std::uint8_t>(i * 131 + i / 7);
    return image;
}

TEST(PngEncodeTest, roundTripsThroughTheDecoder) {
    PngImages images;
    for (const auto& [width, height] : {std::pair{1u, 1u}, {7u, 5u}, {300u, 2u}, {2u, 300u}}) {
        const Image image = patterned(width, height);
        const auto encoded = images.encodePng(image);
        ASSERT_TRUE(encoded.has_value());
        EXPECT_EQ(sizeOf(images.properties(*encoded)),
                  std::pair(std::uint64_t{width}, std::uint64_t{height}));
        EXPECT_EQ(images.decode(*encoded), image) << width << "x" << height;
    }
}

TEST(PngEncodeTest, refusesImagesWithoutPixelsOrWithTheWrongBuffer) {
    PngImages images;
    EXPECT_EQ(images.encodePng(Image{}), std::nullopt);
    EXPECT_EQ(images.encodePng(Image{0, 3, {}}), std::nullopt);
    Image short_ = patterned(4, 4);
    short_.rgba.pop_back();
    EXPECT_EQ(images.encodePng(short_), std::nullopt);
}

TEST(PngBoundsTest, readsAHugeClaimFromTheHeaderAloneAndRefusesToDecodeIt) {
    const std::string claim =
        fixtures::writePngHeader(PngSpec(PNG_COLOR_TYPE_RGB_ALPHA, 8, false, 100000, 100000));
    ASSERT_LT(claim.size(), 64u);
    PngImages images;
    EXPECT_EQ(sizeOf(images.properties(claim)),
              std::pair(std::uint64_t{100000}, std::uint64_t{100000}));
    EXPECT_EQ(images.decode(claim), std::nullopt);
    EXPECT_EQ(images.decodeCrop(claim, {0, 0, 1, 1}), std::nullopt);
}

TEST(PngBoundsTest, decodesUpToTheLargestSideAndRefusesValidFilesBeyondTheLimits) {
    PngImages images;
    const auto widest = images.decode(fixtures::writeBlankPng(PngImages::maxDecodedSide, 1));
    ASSERT_TRUE(widest.has_value());
    EXPECT_EQ(widest->width, PngImages::maxDecodedSide);
    EXPECT_EQ(widest->rgba.size(), std::size_t{PngImages::maxDecodedSide} * 4);
    EXPECT_EQ(widest->rgba.back(), 255);
    const auto corner = images.decodeCrop(fixtures::writeBlankPng(PngImages::maxDecodedSide, 1),
                                          {PngImages::maxDecodedSide - 1, 0, 1, 1});
    EXPECT_EQ(corner, (Image{1, 1, {0, 0, 0, 255}}));

    const std::uint32_t side = PngImages::maxDecodedSide + 1;
    const std::string tooWide = fixtures::writeBlankPng(side, 1);
    EXPECT_EQ(sizeOf(images.properties(tooWide)), std::pair(std::uint64_t{side}, std::uint64_t{1}));
    EXPECT_EQ(images.decode(tooWide), std::nullopt);
    EXPECT_EQ(images.decodeCrop(tooWide, {0, 0, 1, 1}), std::nullopt);
    EXPECT_EQ(images.decode(fixtures::writeBlankPng(1, side)), std::nullopt);
    // Within the side limit, but 8193 x 8193 x 4 bytes is past the byte limit.
    EXPECT_EQ(images.decode(fixtures::writeBlankPng(8193, 8193)), std::nullopt);
}

// The IHDR fields start after the signature, the chunk length and the chunk type.
constexpr std::size_t ihdrFields = 16;

std::string withHeaderByte(std::string png, std::size_t field, unsigned char value) {
    png[ihdrFields + field] = static_cast<char>(value);
    const auto* typeAndFields = reinterpret_cast<const Bytef*>(png.data() + 12);
    const uLong crc = crc32(crc32(0, nullptr, 0), typeAndFields, 17);
    for (int i = 0; i < 4; ++i)
        png[ihdrFields + 13 + i] = static_cast<char>((crc >> (24 - 8 * i)) & 0xff);
    return png;
}

TEST(PngMalformedTest, refusesBytesThatAreNotAWellFormedPng) {
    const std::string valid = *PngImages().encodePng(patterned(3, 3));
    std::string badChecksum = valid;
    badChecksum[ihdrFields + 13] ^= 0x01;
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"not a png", "GIF89a\x01\x00\x01\x00"},
        {"signature only", valid.substr(0, 8)},
        {"cut inside the header", valid.substr(0, 30)},
        {"header checksum", badChecksum},
        {"width zero", withHeaderByte(valid, 3, 0)},
        {"width past 2^31 - 1", withHeaderByte(valid, 0, 0x80)},
        {"bit depth 4 for RGBA", withHeaderByte(valid, 8, 4)},
        {"colour type 5", withHeaderByte(valid, 9, 5)},
        {"compression method 1", withHeaderByte(valid, 10, 1)},
        {"filter method 1", withHeaderByte(valid, 11, 1)},
        {"interlace method 2", withHeaderByte(valid, 12, 2)},
    };
    PngImages images;
    for (const auto& [name, bytes] : cases) {
        EXPECT_EQ(sizeOf(images.properties(bytes)), std::nullopt) << name;
        EXPECT_EQ(images.decode(bytes), std::nullopt) << name;
        EXPECT_EQ(images.decodeCrop(bytes, {0, 0, 1, 1}), std::nullopt) << name;
    }
}

// The decoder stops after the last row, so only damage before the closing IEND chunk matters;
// everything else must either be refused or give the very same picture, never another one. A
// crop of the first pixel is refused alike: the rows below it are checked all the same.
constexpr std::size_t iendChunk = 12;

TEST(PngMalformedTest, refusesEveryTruncationOfThePixelData) {
    const Image image = patterned(16, 16);
    const Image firstPixel{1, 1, {image.rgba.begin(), image.rgba.begin() + 4}};
    PngImages images;
    const std::string valid = *images.encodePng(image);
    for (std::size_t length = 0; length < valid.size(); ++length) {
        const std::string_view truncated = std::string_view(valid).substr(0, length);
        const bool damaged = length < valid.size() - iendChunk;
        EXPECT_EQ(images.decode(truncated), damaged ? std::nullopt : std::optional(image))
            << length;
        EXPECT_EQ(images.decodeCrop(truncated, {0, 0, 1, 1}),
                  damaged ? std::nullopt : std::optional(firstPixel))
            << length;
    }
}

TEST(PngMalformedTest, refusesEveryDamagedByteOfThePixelData) {
    const Image image = patterned(16, 16);
    const Image firstPixel{1, 1, {image.rgba.begin(), image.rgba.begin() + 4}};
    PngImages images;
    const std::string valid = *images.encodePng(image);
    for (std::size_t at = 0; at < valid.size(); ++at) {
        std::string damaged = valid;
        damaged[at] = static_cast<char>(damaged[at] ^ 0xff);
        const bool matters = at < valid.size() - iendChunk;
        EXPECT_EQ(images.decode(damaged), matters ? std::nullopt : std::optional(image)) << at;
        EXPECT_EQ(images.decodeCrop(damaged, {0, 0, 1, 1}),
                  matters ? std::nullopt : std::optional(firstPixel))
            << at;
    }
}

// Pixel (x, y) of the source holds (x, y, x + y, 255), so a crop shows where it came from: the
// crop at (left, top) is the same pattern started there.
Image coordinates(std::uint32_t width, std::uint32_t height, std::uint32_t left = 0,
                  std::uint32_t top = 0) {
    Image image{width, height, {}};
    for (std::uint32_t y = top; y < top + height; ++y)
        for (std::uint32_t x = left; x < left + width; ++x)
            image.rgba.insert(image.rgba.end(),
                              {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
                               static_cast<std::uint8_t>(x + y), 255});
    return image;
}

// Large enough for every pass of Adam7 interlacing to hold pixels.
constexpr std::uint32_t cropSourceWidth = 11;
constexpr std::uint32_t cropSourceHeight = 9;

std::string interlacedCoordinates() {
    PngSpec spec(PNG_COLOR_TYPE_RGB_ALPHA, 8, true, cropSourceWidth, cropSourceHeight);
    const Image source = coordinates(cropSourceWidth, cropSourceHeight);
    spec.samples.assign(source.rgba.begin(), source.rgba.end());
    return fixtures::writePng(spec);
}

TEST(PngCropTest, keepsEveryRectangleOfPlainAndInterlacedFiles) {
    PngImages images;
    const std::pair<const char*, std::string> files[] = {
        {"plain", *images.encodePng(coordinates(cropSourceWidth, cropSourceHeight))},
        {"interlaced", interlacedCoordinates()}};
    for (const auto& [name, file] : files) {
        const auto header = readPngHeader(file);
        ASSERT_TRUE(header) << name;
        EXPECT_EQ(header->interlaced, std::string_view(name) == "interlaced");
        for (std::uint32_t x = 0; x < cropSourceWidth; ++x)
            for (std::uint32_t y = 0; y < cropSourceHeight; ++y)
                for (std::uint32_t width = 1; x + width <= cropSourceWidth; ++width)
                    for (std::uint32_t height = 1; y + height <= cropSourceHeight; ++height)
                        ASSERT_EQ(images.decodeCrop(file, {x, y, width, height}),
                                  coordinates(width, height, x, y))
                            << name << " " << x << "," << y << " " << width << "x" << height;
    }
}

TEST(PngCropTest, keepsNoPixelsOfRectanglesNotInsideTheImage) {
    constexpr auto most = std::numeric_limits<std::int64_t>::max();
    const std::pair<const char*, PixelRect> cases[] = {
        {"zero width", {0, 0, 0, 2}},          {"zero height", {0, 0, 2, 0}},
        {"negative width", {2, 0, -1, 2}},     {"left of the image", {-1, 0, 2, 2}},
        {"above the image", {0, -1, 2, 2}},    {"one past the right", {5, 0, 2, 2}},
        {"one past the bottom", {0, 3, 2, 2}}, {"starts at the right edge", {6, 0, 1, 1}},
        {"huge origin", {most, 0, 1, 1}},      {"huge size", {1, 1, most, most}},
    };
    PngImages images;
    const std::string plain = *images.encodePng(coordinates(6, 4));
    for (const auto& [name, rect] : cases)
        EXPECT_EQ(images.decodeCrop(plain, rect), Image{}) << name;
}

}  // namespace
}  // namespace lumora::platform
