// Standard base64 (RFC 4648 alphabet, with padding). Decoding is strict: no white space, no
// missing padding, no stray characters, as the platform decoder without options.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumora::base64 {

std::string encode(std::string_view bytes);
std::optional<std::string> decode(std::string_view text);

}  // namespace lumora::base64
