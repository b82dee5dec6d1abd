// A top-level string of a JSON message found where it lies in the message, so that the largest
// value of a large message, a screenshot's data URL, need not be copied by the parser.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lumora::ReaderHost {

// Characters of `json`, from `offset` on.
struct Span {
    std::size_t offset = 0;
    std::size_t size = 0;
};

// Where the characters of the value of the first top-level key `key` lie in `json` (between
// the quotes), when `json` has spare room for simdjson behind it and the value is a string
// without a backslash, which therefore means exactly its characters. None when the value is
// anything else, when a key before it has a backslash (the parser compares keys unescaped, so
// it might be the same key), and whenever the search finds the message not to be valid JSON;
// the caller then parses the message as usual.
std::optional<Span> findPlainString(const std::string& json, std::string_view key);

}  // namespace lumora::ReaderHost
