#include "runtime/json.h"

#include <cmath>

#include "runtime/text.h"

namespace lumora::json {

namespace {

bool needsEscape(unsigned char c) {
    return c < 0x20 || c == '"' || c == '\\';
}

void appendEscaped(std::string_view text, std::string& out) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (!needsEscape(c)) continue;
        out.append(text.substr(runStart, i - runStart));
        runStart = i + 1;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
        }
    }
    out.append(text.substr(runStart));
    out += '"';
}

void appendString(std::string_view text, std::string& out) {
    if (text::isValidUtf8(text)) {
        appendEscaped(text, out);
    } else {
        out += Document(std::string(text)).dump(-1, ' ', false, Document::error_handler_t::replace);
    }
}

// Events and records carry long texts (a growing answer, a screenshot's data URL) many times
// over; nlohmann's serialiser checks UTF-8 byte by byte, so well-formed strings (nearly all)
// are validated in bulk and copied in runs instead. The output is the same as nlohmann's.
template <class Json>
void append(const Json& value, std::string& out) {
    switch (value.type()) {
        case nlohmann::json::value_t::object: {
            out += '{';
            bool first = true;
            for (const auto& [key, member] : value.items()) {
                if (!first) out += ',';
                first = false;
                appendString(key, out);
                out += ':';
                append(member, out);
            }
            out += '}';
            return;
        }
        case nlohmann::json::value_t::array: {
            out += '[';
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (i > 0) out += ',';
                append(value[i], out);
            }
            out += ']';
            return;
        }
        case nlohmann::json::value_t::string:
            appendString(value.template get_ref<const std::string&>(), out);
            return;
        default:
            out += value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
}

template <class Json>
std::string serializeCompact(const Json& document) {
    std::string out;
    append(document, out);
    return out;
}

}  // namespace

std::string serialize(const Document& document) {
    return serializeCompact(document);
}

std::string serialize(const OrderedDocument& document) {
    return serializeCompact(document);
}

std::string serializeEscapingSlash(const OrderedDocument& document) {
    // A slash can only occur inside strings in JSON text, so a plain replacement is exact.
    return text::replaceAll(serialize(document), "/", "\\/");
}

std::optional<std::uint64_t> unsignedInteger(simdjson::dom::element element) {
    switch (element.type()) {
        case simdjson::dom::element_type::UINT64:
            return element.get_uint64().value_unsafe();
        case simdjson::dom::element_type::INT64: {
            int64_t value = element.get_int64().value_unsafe();
            if (value < 0) return std::nullopt;
            return static_cast<std::uint64_t>(value);
        }
        case simdjson::dom::element_type::DOUBLE: {
            double value = element.get_double().value_unsafe();
            // 2^64 itself is not representable as an unsigned 64-bit value.
            if (!(value >= 0) || value >= 18446744073709551616.0 || std::floor(value) != value) {
                return std::nullopt;
            }
            return static_cast<std::uint64_t>(value);
        }
        default:
            return std::nullopt;
    }
}

}  // namespace lumora::json
