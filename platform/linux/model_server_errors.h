// What goes wrong between the helper and a local model server, in sentences the user reads
// after "Assistant could not complete this request: ".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "runtime/error.h"

namespace lumora::platform::ModelServerErrors {

inline constexpr std::string_view domain = "Lumora.Model";

// The message a server put in an error body ({"error": {"message": ...}}, {"error": "..."} or
// {"message": ...}), else the body itself; at most 200 bytes either way.
std::string serverMessage(std::string_view body);

// No server can take the request; `description` is the availability's text.
Error unavailable(const std::string& description);
Error notAnswering(const std::string& url);
Error stillLoading(const std::string& url);
Error refused(long status, const std::string& message);
Error failedWhileAnswering(const std::string& message);
Error cutShort();
Error unreadable();
Error tooLong(std::size_t limit);
// An image for a model that, asked again since, no longer takes one.
Error imagesRefused();

}  // namespace lumora::platform::ModelServerErrors
