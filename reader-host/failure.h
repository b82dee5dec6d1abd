// The reader host's own failures: one domain and code, the message being what the browser is
// shown in the response's `error`.
#pragma once

#include <string_view>

#include "runtime/error.h"

namespace lumora::ReaderHost {

inline constexpr std::string_view errorDomain = "Lumora.Reader";
inline constexpr int failureCode = 1;

inline Error failure(std::string_view message) {
    return Error(std::string(errorDomain), failureCode, std::string(message));
}

}  // namespace lumora::ReaderHost
