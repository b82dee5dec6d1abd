// The diagnostic insertion trace: one JSON line per insertion step in "insertion-trace.log"
// of the audit directory. It never affects the request, so every failure is swallowed.
#pragma once

#include <string>
#include <string_view>

#include "runtime/json.h"

namespace lumora::InsertionTrace {

inline constexpr std::string_view fileName = "insertion-trace.log";
// A log grown beyond this starts over, so it never fills the disk.
inline constexpr std::size_t maximumBytes = 65'536;

// Appends the record as one sorted-key line to the log in `directory`.
void append(const std::string& directory, const json::Document& record);

}  // namespace lumora::InsertionTrace
