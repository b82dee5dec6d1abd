// Standard base64 (RFC 4648 alphabet, with padding). Decoding is strict: no white space, no
// missing padding, no stray characters, as the platform decoder without options.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumora::base64 {

std::string encode(std::string_view bytes);
std::optional<std::string> decode(std::string_view text);
// The bytes of `text` from position `from` on (at most its size), decoded as above into the
// same storage: for inputs too large to be held twice over.
std::optional<std::string> decodeInPlace(std::string text, std::size_t from = 0);

}  // namespace lumora::base64
