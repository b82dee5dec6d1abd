#include "reader-host/framing.h"

#include <algorithm>
#include <cstring>

#include "reader-host/failure.h"

namespace lumora::ReaderHost {

std::optional<std::string> readExact(ByteInput& input, std::size_t count) {
    std::string bytes;
    bytes.reserve(count + simdjson::SIMDJSON_PADDING);
    // Appended from a small buffer rather than read into a zero-filled one: zeroing a message
    // of tens of megabytes first costs more than copying it once more out of the cache. A pipe
    // hands over no more than this at a time anyway.
    char chunk[64 * 1024];
    while (bytes.size() < count) {
        const std::size_t got = input.read(chunk, std::min(sizeof chunk, count - bytes.size()));
        if (got == 0) {
            if (bytes.empty()) return std::nullopt;
            throw failure(truncatedMessage);
        }
        bytes.append(chunk, got);
    }
    return bytes;
}

std::optional<std::string> readMessage(ByteInput& input) {
    const auto header = readExact(input, sizeof(std::uint32_t));
    if (!header) return std::nullopt;
    std::uint32_t length = 0;
    std::memcpy(&length, header->data(), sizeof length);
    if (length == 0 || length > maxMessageBytes) throw failure(oversizedMessage);
    auto body = readExact(input, length);
    if (!body) throw failure(missingMessage);
    return body;
}

void writeResponse(ByteOutput& output, const json::Document& response) {
    const std::string body = json::serialize(response);
    if (body.size() > maxResponseBytes) throw failure(responseTooLarge);
    const auto length = static_cast<std::uint32_t>(body.size());
    char header[sizeof length];
    std::memcpy(header, &length, sizeof length);
    output.write(std::string_view(header, sizeof header));
    output.write(body);
}

}  // namespace lumora::ReaderHost
