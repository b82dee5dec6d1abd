// One decoded browser request. Unknown keys are ignored; an optional key that is missing or
// null is absent; a missing or mistyped required key makes the whole message undecodable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumora::ReaderHost {

inline constexpr std::string_view decodingErrorDomain = "Lumora.Reader.Decoding";

// Viewport (CSS) pixels, origin at the top-left.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;
};

struct Viewport {
    double width = 0;
    double height = 0;
    bool operator==(const Viewport&) const = default;
};

struct Request {
    std::int64_t protocolVersion = 0;
    std::string requestId;
    std::string type;
    std::optional<std::string> url;
    std::optional<std::string> bookId;
    std::optional<Rect> region;
    std::optional<Viewport> viewport;
    std::optional<std::string> png;
    std::optional<std::string> payload;
    bool operator==(const Request&) const = default;
};

// Throws lumora::Error (decodingErrorDomain) whose description names the offending key and
// what was wrong with it. A body read by readExact is parsed in place, without a copy, and its
// storage is reused for the screenshot.
Request decodeRequest(std::string body);

}  // namespace lumora::ReaderHost
