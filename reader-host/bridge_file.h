// The bridge file the Lumora app writes so that the reader host can reach it: its loopback
// HTTP port and the bearer token it accepts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumora::ReaderHost {

struct Bridge {
    std::uint16_t port = 0;
    std::string token;
    bool operator==(const Bridge&) const = default;
};

std::string bridgePath(const std::string& homeDirectory);

// None unless `contents` is a JSON object with an integral `port` in 1...65535 and a UUID
// string `token`; other keys are ignored.
std::optional<Bridge> parseBridge(std::string_view contents);

}  // namespace lumora::ReaderHost
