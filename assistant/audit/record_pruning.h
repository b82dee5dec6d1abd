// Bounds the audit folder: only the newest records are kept. Every entry whose extension is
// ".json" counts, hidden ones included; nothing else in the folder is touched.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace lumora {

inline constexpr std::size_t keptAuditRecords = 50;

// Deletes the ".json" entries of `directory` after the first `keep` in descending name order.
// Returns the description of the first failure to list or delete; pruning stops there.
std::optional<std::string> pruneAuditRecords(const std::string& directory,
                                             std::size_t keep = keptAuditRecords);

}  // namespace lumora
