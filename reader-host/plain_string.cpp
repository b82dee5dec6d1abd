#include "reader-host/plain_string.h"

#include <simdjson.h>

#include <cstring>

namespace lumora::ReaderHost {
namespace {

// The characters from `from` up to the next quote, when none of them is a backslash. In a
// string, a quote after no backslash at all is the closing one.
std::optional<std::string_view> plainText(const char* from, const char* end) {
    const auto* quote = static_cast<const char*>(std::memchr(from, '"', end - from));
    if (quote == nullptr) return std::nullopt;
    const std::string_view text(from, quote - from);
    if (text.find('\\') != std::string_view::npos) return std::nullopt;
    return text;
}

}  // namespace

std::optional<Span> findPlainString(const std::string& json, std::string_view key) {
    // The on-demand parser reads the whole message once (checking its UTF-8 and that no string
    // holds a control character) and then only the structure actually visited: the top-level
    // keys up to `key`, skipping their values, and no string's characters are copied.
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document document;
    simdjson::ondemand::object top;
    if (parser.iterate(json).get(document) != simdjson::SUCCESS ||
        document.get_object().get(top) != simdjson::SUCCESS)
        return std::nullopt;
    const char* end = json.data() + json.size();
    for (auto entry : top) {
        if (entry.error() != simdjson::SUCCESS) return std::nullopt;
        simdjson::ondemand::field field = std::move(entry).value_unsafe();
        const auto name = plainText(field.key().raw(), end);
        if (!name) return std::nullopt;
        if (*name != key) continue;
        simdjson::ondemand::raw_json_string value;
        if (field.value().get_raw_json_string().get(value) != simdjson::SUCCESS)
            return std::nullopt;
        const auto text = plainText(value.raw(), end);
        if (!text) return std::nullopt;
        return Span{static_cast<std::size_t>(text->data() - json.data()), text->size()};
    }
    return std::nullopt;
}

}  // namespace lumora::ReaderHost
