// The response envelope every request gets: `ok`, `protocolVersion` and `requestId` always,
// `error` on failure, and the type's own keys on success.
#pragma once

#include <string_view>

#include "runtime/json.h"

namespace lumora::ReaderHost {

inline constexpr int protocolVersion = 1;

json::Document successResponse(std::string_view requestId);
json::Document errorResponse(std::string_view requestId, std::string_view message);

}  // namespace lumora::ReaderHost
