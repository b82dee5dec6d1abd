#include "assistant/audit/record_pruning.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "assistant/audit/audit_failure.h"
#include "assistant/audit/record_name.h"

namespace lumora {

namespace fs = std::filesystem;

namespace {

std::optional<std::vector<fs::path>> recordsNewestFirst(const std::string& directory,
                                                        std::error_code& failure) {
    std::vector<fs::path> records;
    fs::directory_iterator entries(directory, failure);
    for (; !failure && entries != fs::directory_iterator(); entries.increment(failure)) {
        if (entries->path().extension() == auditRecordExtension) records.push_back(entries->path());
    }
    if (failure) return std::nullopt;
    std::sort(records.begin(), records.end(), [](const fs::path& left, const fs::path& right) {
        return left.filename().native() > right.filename().native();
    });
    return records;
}

}  // namespace

std::optional<std::string> pruneAuditRecords(const std::string& directory, std::size_t keep) {
    std::error_code failure;
    auto records = recordsNewestFirst(directory, failure);
    if (!records) return describeAuditFailure(auditFolderListingFailure, directory, failure);
    for (std::size_t index = keep; index < records->size(); ++index) {
        // Not recursive: a folder that happens to end in ".json" is not ours to empty.
        fs::remove((*records)[index], failure);
        if (failure) {
            return describeAuditFailure(auditRecordRemovalFailure, (*records)[index].native(),
                                        failure);
        }
    }
    return std::nullopt;
}

}  // namespace lumora
