#include "reader-host/bridge_file.h"

#include <simdjson.h>

#include "runtime/json.h"
#include "runtime/uuid.h"

namespace lumora::ReaderHost {

std::string bridgePath(const std::string& homeDirectory) {
    return homeDirectory + "/Library/Application Support/vantor/reader-bridge.json";
}

std::optional<Bridge> parseBridge(std::string_view contents) {
    simdjson::dom::parser parser;
    simdjson::dom::object fields;
    if (parser.parse(contents.data(), contents.size()).get(fields) != simdjson::SUCCESS)
        return std::nullopt;
    simdjson::dom::element port;
    std::string_view token;
    if (fields["port"].get(port) != simdjson::SUCCESS ||
        fields["token"].get(token) != simdjson::SUCCESS || !Uuid::parse(token))
        return std::nullopt;
    const auto number = json::unsignedInteger(port);
    if (!number || *number < 1 || *number > 65535) return std::nullopt;
    return Bridge{static_cast<std::uint16_t>(*number), std::string(token)};
}

}  // namespace lumora::ReaderHost
