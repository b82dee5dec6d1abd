// Whether text can be opened as a URL: it must start with a scheme, as every URL does.
#pragma once

#include <string_view>

namespace lumora::platform {

// A letter, then letters, digits, "+", "-" or ".", then ":".
bool hasUrlScheme(std::string_view url);

}  // namespace lumora::platform
