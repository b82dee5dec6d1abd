#include "runtime/json.h"

#include <cmath>

#include "runtime/text.h"

namespace lumora::json {

std::string serialize(const Document& document) {
    return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string serialize(const OrderedDocument& document) {
    return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
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
