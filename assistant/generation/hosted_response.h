// The state of a reply that the app's cloud model is streaming back for one request.
#pragma once

#include <cstdint>
#include <string>

namespace lumora {

struct HostedAssistantResponse {
    std::uint64_t requestID = 0;
    std::string raw;
};

}  // namespace lumora
