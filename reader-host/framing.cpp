#include "reader-host/framing.h"

#include <cstring>

#include "reader-host/failure.h"

namespace lumora::ReaderHost {

std::optional<std::string> readExact(ByteInput& input, std::size_t count) {
    std::string bytes;
    bytes.reserve(count + simdjson::SIMDJSON_PADDING);
    bytes.resize(count);
    std::size_t collected = 0;
    while (collected < count) {
        const std::size_t got = input.read(bytes.data() + collected, count - collected);
        if (got == 0) {
            if (collected == 0) return std::nullopt;
            throw failure(truncatedMessage);
        }
        collected += got;
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
