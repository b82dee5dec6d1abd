#include "platform/linux/png_header.h"

#include <zlib.h>

namespace lumora::platform {
namespace {

constexpr std::string_view signature = "\x89PNG\r\n\x1a\n";
constexpr std::uint32_t ihdrLength = 13;
// Signature, chunk length, chunk type, IHDR fields, checksum.
constexpr std::size_t headerBytes = signature.size() + 4 + 4 + ihdrLength + 4;
// The format caps both dimensions at 2^31 - 1.
constexpr std::uint32_t largestDimension = 0x7fffffff;

std::uint32_t bigEndian32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

bool validDepthForType(std::uint8_t depth, std::uint8_t type) {
    switch (type) {
        case 0:  // grey
            return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3:  // palette
            return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:  // RGB
        case 4:  // grey + alpha
        case 6:  // RGBA
            return depth == 8 || depth == 16;
        default:
            return false;
    }
}

}  // namespace

std::optional<PngHeader> readPngHeader(std::string_view encoded) {
    if (encoded.size() < headerBytes || !encoded.starts_with(signature)) return std::nullopt;
    const std::size_t lengthAt = signature.size();
    const std::size_t typeAt = lengthAt + 4;
    const std::size_t fieldsAt = typeAt + 4;
    const std::size_t crcAt = fieldsAt + ihdrLength;
    if (bigEndian32(encoded, lengthAt) != ihdrLength || encoded.substr(typeAt, 4) != "IHDR")
        return std::nullopt;
    // The checksum covers the chunk type and its data.
    const auto* checked = reinterpret_cast<const Bytef*>(encoded.data() + typeAt);
    if (crc32(crc32(0, nullptr, 0), checked, 4 + ihdrLength) != bigEndian32(encoded, crcAt))
        return std::nullopt;

    PngHeader header;
    header.width = bigEndian32(encoded, fieldsAt);
    header.height = bigEndian32(encoded, fieldsAt + 4);
    header.bitDepth = static_cast<std::uint8_t>(encoded[fieldsAt + 8]);
    header.colorType = static_cast<std::uint8_t>(encoded[fieldsAt + 9]);
    const auto compression = static_cast<std::uint8_t>(encoded[fieldsAt + 10]);
    const auto filter = static_cast<std::uint8_t>(encoded[fieldsAt + 11]);
    const auto interlace = static_cast<std::uint8_t>(encoded[fieldsAt + 12]);
    if (header.width == 0 || header.height == 0 || header.width > largestDimension ||
        header.height > largestDimension || !validDepthForType(header.bitDepth, header.colorType) ||
        compression != 0 || filter != 0 || interlace > 1)
        return std::nullopt;
    header.interlaced = interlace == 1;
    return header;
}

}  // namespace lumora::platform
