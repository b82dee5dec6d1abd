// How audit failures read when the controller reports them: what could not be done, the path
// it concerned and, when the system said why, the reason.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace lumora {

inline constexpr std::string_view auditFolderCreationFailure = "Could not create the audit folder";
inline constexpr std::string_view auditRecordSaveFailure = "Could not save the audit record";
inline constexpr std::string_view auditFolderListingFailure = "Could not read the audit folder";
inline constexpr std::string_view auditRecordRemovalFailure =
    "Could not remove the old audit record";

// "<failure> “<path>”: <reason>." or, without a reason, "<failure> “<path>”."
std::string describeAuditFailure(std::string_view failure, std::string_view path,
                                 std::error_code reason);

// The reason left in errno by the call that just failed; none when it left nothing.
std::error_code lastSystemError();

}  // namespace lumora
