// What goes wrong between the helper and a local model server, in sentences the user reads
// after "Assistant could not complete this request: ".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "runtime/error.h"

namespace lumora::platform::ModelServerErrors {

inline constexpr std::string_view domain = "Lumora.Model";

Error notAnswering(const std::string& url);
Error stillLoading(const std::string& url);
Error refused(long status, const std::string& message);
Error failedWhileAnswering(const std::string& message);
Error cutShort();
Error unreadable();
Error tooLong(std::size_t limit);

}  // namespace lumora::platform::ModelServerErrors
