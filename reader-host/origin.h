// The caller check at start-up: the browser names the calling extension's origin as the first
// argument, and only the reader extension may use the host. A rejected start can leave a record
// of the arguments it was given, for diagnosis.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumora::ReaderHost {

inline constexpr int originRejectedStatus = 2;
inline constexpr std::size_t maxRecordedArgumentCharacters = 300;
inline constexpr std::string_view originRejectionFile = "origin-rejected.json";

bool acceptsOrigin(std::optional<std::string_view> origin);

// {"arguments": [...]}: each argument (program path excluded) cut to its first 300 characters.
std::string originRejectionRecord(const std::vector<std::string>& arguments);

// Writes the record into the existing `directory`; failures are ignored, since the process is
// about to exit and has no one to tell.
void recordOriginRejection(const std::string& directory, const std::vector<std::string>& arguments);

}  // namespace lumora::ReaderHost
