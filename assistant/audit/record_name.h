// Names of audit record files. A name starts with the creation time in milliseconds, zero
// padded to 13 digits, so sorting names sorts records by age; the UUID after it keeps two
// records of the same millisecond apart.
#pragma once

#include <string>

#include "runtime/uuid.h"

namespace lumora {

inline constexpr std::string_view auditRecordExtension = ".json";

// "<13-digit milliseconds>-<UUID>.json" for a record created at `createdMilliseconds`.
std::string auditRecordFileName(double createdMilliseconds, const Uuid& uuid);

}  // namespace lumora
