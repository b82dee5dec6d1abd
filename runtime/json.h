// JSON in both directions. Untrusted input (command lines, messages, replies) is parsed with
// simdjson; documents the system builds (events, records) use nlohmann. Key order is kept
// where a peer reads text rather than objects (ordered_json).
#pragma once

#include <simdjson.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace lumora::json {

using Document = nlohmann::json;
using OrderedDocument = nlohmann::ordered_json;

// Compact serialisation; ill-formed UTF-8 in strings becomes U+FFFD instead of failing.
std::string serialize(const Document& document);
std::string serialize(const OrderedDocument& document);

// Compact serialisation that also escapes the forward slash as "\/", the form model prompts
// were written against.
std::string serializeEscapingSlash(const OrderedDocument& document);

// Sorted keys: nlohmann's default object keeps them ordered.
inline std::string serializeSorted(const Document& document) {
    return serialize(document);
}

// An unsigned 64-bit integer from a JSON number: non-negative, integral and below 2^64.
std::optional<std::uint64_t> unsignedInteger(simdjson::dom::element element);

}  // namespace lumora::json
