#include "runtime/base64.h"

#include <array>
#include <cstdint>

namespace lumora::base64 {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// One table per place of a character in its group of four, holding the character's six bits
// already shifted to that place: a group's 24 bits are then four look-ups OR-ed together, and
// a character outside the alphabet, which sets a bit above them in every table, shows in the
// result. Large screenshots make decoding worth the 4 KiB.
constexpr std::uint32_t outsideAlphabet = 1u << 24;

constexpr std::array<std::uint32_t, 256> placedTable(int shift) {
    std::array<std::uint32_t, 256> table{};
    for (auto& entry : table) entry = outsideAlphabet;
    for (std::uint32_t i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i])] = i << shift;
    return table;
}

constexpr std::array<std::array<std::uint32_t, 256>, 4> placed = {placedTable(18), placedTable(12),
                                                                  placedTable(6), placedTable(0)};

}  // namespace

std::string encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        std::uint32_t group = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += alphabet[(group >> 6) & 63];
        out += alphabet[group & 63];
    }
    std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t group = data[i] << 16;
        if (rest == 2) group |= data[i + 1] << 8;
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += rest == 2 ? alphabet[(group >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

namespace {

// Decodes `text` into `to`, which has room for its bytes and may be `text` itself or start
// before it: each group is read in full before its bytes are written, and the bytes written
// never overtake the characters still to be read. False when `text` is not valid.
bool decodeInto(std::string_view text, std::size_t padding, char* to) {
    const auto* in = reinterpret_cast<const std::uint8_t*>(text.data());
    // A padded last group is decoded on its own, so '=' anywhere before it is invalid.
    const std::size_t fullGroups = text.size() / 4 - (padding > 0 ? 1 : 0);
    for (std::size_t group = 0; group < fullGroups; ++group, in += 4, to += 3) {
        const std::uint32_t bits =
            placed[0][in[0]] | placed[1][in[1]] | placed[2][in[2]] | placed[3][in[3]];
        if ((bits & outsideAlphabet) != 0) return false;
        to[0] = static_cast<char>(bits >> 16);
        to[1] = static_cast<char>(bits >> 8);
        to[2] = static_cast<char>(bits);
    }
    if (padding > 0) {
        // Two characters and "==" make one byte; three and "=" make two.
        const std::uint32_t bits =
            placed[0][in[0]] | placed[1][in[1]] | (padding == 1 ? placed[2][in[2]] : 0);
        if ((bits & outsideAlphabet) != 0) return false;
        to[0] = static_cast<char>(bits >> 16);
        if (padding == 1) to[1] = static_cast<char>(bits >> 8);
    }
    return true;
}

// How many bytes `text` decodes to and how many '=' end it, when its length can be valid.
struct Layout {
    std::size_t size;
    std::size_t padding;
};

std::optional<Layout> layoutOf(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
    return Layout{text.size() / 4 * 3 - padding, padding};
}

}  // namespace

std::optional<std::string> decode(std::string_view text) {
    const auto layout = layoutOf(text);
    if (!layout) return std::nullopt;
    // Sized once and written in place: growing the output a byte at a time costs more than
    // the decoding itself.
    std::string out(layout->size, '\0');
    if (!decodeInto(text, layout->padding, out.data())) return std::nullopt;
    return out;
}

std::optional<std::string> decodeInPlace(std::string text, std::size_t from) {
    const std::string_view encoded = std::string_view(text).substr(from);
    const auto layout = layoutOf(encoded);
    if (!layout || !decodeInto(encoded, layout->padding, text.data())) return std::nullopt;
    text.resize(layout->size);
    return text;
}

}  // namespace lumora::base64
