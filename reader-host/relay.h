// The app relay: forwards a relay request's payload, byte for byte, as an HTTP POST to the
// Lumora app on 127.0.0.1 and returns the app's JSON object as `data`. The host checks sizes
// and shapes only; what the payload and reply mean is the app's business.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/http.h"
#include "platform/system.h"
#include "reader-host/request.h"
#include "runtime/json.h"

namespace lumora::ReaderHost {

inline constexpr std::size_t maxRelayPayloadBytes = 899'999;
inline constexpr std::size_t maxRelayReplyBytes = 949'999;
inline constexpr double relayTimeoutSeconds = 8;

inline constexpr std::string_view invalidRelayRequest = "Invalid app relay request";
inline constexpr std::string_view relayNotConnected =
    "Open the updated Lumora app to connect the reader relay.";
inline constexpr std::string_view invalidAppReply = "Invalid Lumora app reply.";
inline constexpr std::string_view relayRefused = "The Lumora app relay refused the request.";

// The app's endpoint for a relay type ("relay-poll" -> "poll"); none for other types.
std::optional<std::string_view> relayEndpoint(std::string_view type);

// Reads the bridge file afresh under the system's home directory. Throws the failures above,
// the JSON parser's description for a payload or reply that is not JSON, and the transport's
// description when the app cannot be reached.
json::Document relay(const Request& request, platform::System& system, platform::Http& http);

}  // namespace lumora::ReaderHost
