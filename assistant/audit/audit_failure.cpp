#include "assistant/audit/audit_failure.h"

#include <cerrno>

namespace lumora {

std::string describeAuditFailure(std::string_view failure, std::string_view path,
                                 std::error_code reason) {
    std::string description(failure);
    description += " “";
    description += path;
    description += "”";
    if (reason) description += ": " + reason.message();
    description += '.';
    return description;
}

std::error_code lastSystemError() {
    return errno == 0 ? std::error_code{} : std::error_code(errno, std::generic_category());
}

}  // namespace lumora
