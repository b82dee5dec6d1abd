// Who may start the reader host and which web reader it serves. Both are facts of a deployment,
// fixed when the program is built (the README lists the build settings).
#pragma once

#include <array>
#include <string_view>

namespace lumora::ReaderHost {

// "chrome-extension://", the reader extension's 32-character identifier, then "/".
extern const std::string_view allowedOrigin;

// The web reader's host names, in lower case.
extern const std::array<std::string_view, 2> allowedReaderHosts;

}  // namespace lumora::ReaderHost
