#include "assistant/audit/record_name.h"

#include <cstdio>

namespace lumora {

std::string auditRecordFileName(double createdMilliseconds, const Uuid& uuid) {
    char milliseconds[32];
    std::snprintf(milliseconds, sizeof milliseconds, "%013.0f", createdMilliseconds);
    std::string name(milliseconds);
    name += '-';
    name += uuid.string();
    name += auditRecordExtension;
    return name;
}

}  // namespace lumora
