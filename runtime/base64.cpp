#include "runtime/base64.h"

#include <array>
#include <cstdint>

namespace lumora::base64 {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t invalid = 0xFF;

constexpr std::array<std::uint8_t, 256> decodeTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& entry : table) entry = invalid;
    for (std::uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = i;
    return table;
}

constexpr auto table = decodeTable();

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

std::optional<std::string> decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t fullEnd = text.size() - (padding > 0 ? 4 : 0);
    for (std::size_t i = 0; i < fullEnd; i += 4) {
        std::uint8_t a = table[data[i]], b = table[data[i + 1]], c = table[data[i + 2]],
                     d = table[data[i + 3]];
        if (((a | b | c | d) & 0xC0) != 0) return std::nullopt;  // an invalid entry has both top bits
        std::uint32_t group = (a << 18) | (b << 12) | (c << 6) | d;
        out += static_cast<char>(group >> 16);
        out += static_cast<char>(group >> 8);
        out += static_cast<char>(group);
    }
    if (padding > 0) {
        std::size_t i = fullEnd;
        std::uint8_t a = table[data[i]], b = table[data[i + 1]];
        std::uint8_t c = padding == 1 ? table[data[i + 2]] : 0;
        if (a == invalid || b == invalid || c == invalid) return std::nullopt;
        std::uint32_t group = (a << 18) | (b << 12) | (c << 6);
        out += static_cast<char>(group >> 16);
        if (padding == 1) out += static_cast<char>(group >> 8);
    }
    return out;
}

}  // namespace lumora::base64
