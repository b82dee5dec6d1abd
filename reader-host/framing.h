// Native-messaging framing: every message in either direction is a 4-byte length in the
// machine's byte order followed by that many bytes of JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "reader-host/byte_streams.h"
#include "runtime/json.h"

namespace lumora::ReaderHost {

inline constexpr std::uint32_t maxMessageBytes = 32'000'000;
inline constexpr std::size_t maxResponseBytes = 999'999;

inline constexpr std::string_view truncatedMessage = "Truncated native message";
inline constexpr std::string_view oversizedMessage = "Native message exceeds limit";
inline constexpr std::string_view missingMessage = "Missing native message";
inline constexpr std::string_view responseTooLarge = "Response too large";

// Exactly `count` bytes, asking the input each time for the bytes still missing. None when the
// input ends before the first byte; a failure when it ends later. The buffer keeps spare room
// behind the bytes so that a JSON parser can read them in place.
std::optional<std::string> readExact(ByteInput& input, std::size_t count);

// The next message's body; none when the input ends cleanly before a header. Throws the
// framing failures above (and read errors), after which the stream cannot be trusted.
std::optional<std::string> readMessage(ByteInput& input);

// Serialises `response` and writes it as one framed message: the length, then the JSON, as
// two writes. Throws "Response too large" without writing anything when the JSON exceeds the
// response limit.
void writeResponse(ByteOutput& output, const json::Document& response);

}  // namespace lumora::ReaderHost
