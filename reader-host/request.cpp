#include "reader-host/request.h"

#include <simdjson.h>

#include <cmath>

#include "reader-host/plain_string.h"
#include "runtime/error.h"

namespace lumora::ReaderHost {
namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

[[noreturn]] void fail(std::string description) {
    throw Error(std::string(decodingErrorDomain), 1, std::move(description));
}

[[noreturn]] void wrongType(std::string_view key, std::string_view expected) {
    fail("Key \"" + std::string(key) + "\" is not " + std::string(expected) + ".");
}

// Reads the keys of one JSON object; `path` prefixes key names in messages ("region.").
class Fields {
  public:
    Fields(object fields, std::string_view path) : fields_(fields), path_(path) {}

    std::optional<element> optional(std::string_view key) const {
        element value;
        if (fields_[key].get(value) != simdjson::SUCCESS || value.is_null()) return std::nullopt;
        return value;
    }

    element required(std::string_view key) const {
        element value;
        if (fields_[key].get(value) != simdjson::SUCCESS) {
            fail("Missing key \"" + name(key) + "\".");
        }
        return value;
    }

    std::string string(std::string_view key, element value) const {
        std::string_view text;
        if (value.get(text) != simdjson::SUCCESS) wrongType(name(key), "a string");
        return std::string(text);
    }

    double number(std::string_view key) const {
        const element value = required(key);
        double result = 0;
        if (value.get(result) != simdjson::SUCCESS) wrongType(name(key), "a number");
        return result;
    }

    std::int64_t integer(std::string_view key) const {
        const element value = required(key);
        if (value.type() == element_type::INT64) return value.get_int64().value_unsafe();
        if (value.type() == element_type::DOUBLE) {
            const double number = value.get_double().value_unsafe();
            // -2^63 is representable, 2^63 is not.
            if (number >= -9223372036854775808.0 && number < 9223372036854775808.0 &&
                std::floor(number) == number)
                return static_cast<std::int64_t>(number);
        }
        wrongType(name(key), "an integer");
    }

    std::string requiredString(std::string_view key) const { return string(key, required(key)); }

    // Valid as long as the parser is untouched.
    std::optional<std::string_view> optionalText(std::string_view key) const {
        const auto value = optional(key);
        if (!value) return std::nullopt;
        std::string_view text;
        if (value->get(text) != simdjson::SUCCESS) wrongType(name(key), "a string");
        return text;
    }

    std::optional<std::string> optionalString(std::string_view key) const {
        const auto text = optionalText(key);
        if (!text) return std::nullopt;
        return std::string(*text);
    }

    std::optional<Fields> optionalObject(std::string_view key) const {
        const auto value = optional(key);
        if (!value) return std::nullopt;
        object nested;
        if (value->get(nested) != simdjson::SUCCESS) wrongType(name(key), "an object");
        return Fields(nested, name(key) + ".");
    }

  private:
    std::string name(std::string_view key) const { return path_ + std::string(key); }

    object fields_;
    std::string path_;
};

// The parsed message. A data URL that lies in the body as it is (see findPlainString) is cut
// out first, leaving an empty string: the rest is valid JSON exactly when the whole body is,
// since what was cut is a string's characters that need no check the search has not made, and
// so the parser never copies tens of megabytes of them. An invalid body is parsed again in
// full, so that its error is the very one it has always had.
element parseBody(simdjson::dom::parser& parser, const std::string& body,
                  const std::optional<Span>& dataUrl) {
    element document;
    if (dataUrl) {
        std::string rest;
        rest.reserve(body.size() - dataUrl->size + simdjson::SIMDJSON_PADDING);
        rest.append(body, 0, dataUrl->offset).append(body, dataUrl->offset + dataUrl->size);
        if (parser.parse(rest).get(document) == simdjson::SUCCESS) return document;
    }
    if (const auto error = parser.parse(body).get(document); error != simdjson::SUCCESS) {
        fail("The message is not valid JSON: " + std::string(simdjson::error_message(error)));
    }
    return document;
}

}  // namespace

Request decodeRequest(std::string body) {
    // One parser per message: its buffers grow to the message's size, and a large screenshot
    // should not keep them resident after its request is done.
    simdjson::dom::parser parser;
    const auto dataUrl = findPlainString(body, "png");
    const element document = parseBody(parser, body, dataUrl);
    object top;
    if (document.get(top) != simdjson::SUCCESS) fail("The message is not a JSON object.");
    const Fields fields(top, "");

    Request request;
    request.protocolVersion = fields.integer("protocolVersion");
    request.requestId = fields.requiredString("requestId");
    request.type = fields.requiredString("type");
    request.url = fields.optionalString("url");
    request.bookId = fields.optionalString("bookId");
    if (const auto region = fields.optionalObject("region")) {
        request.region = Rect{region->number("x"), region->number("y"), region->number("width"),
                              region->number("height")};
    }
    if (const auto viewport = fields.optionalObject("viewport")) {
        request.viewport = Viewport{viewport->number("width"), viewport->number("height")};
    }
    const auto png = fields.optionalText("png");
    request.payload = fields.optionalString("payload");
    // A screenshot's data URL is most of a large message, and the body's storage, already in
    // memory, is large enough to take it in place of a fresh allocation of the same size.
    if (dataUrl) {
        body.erase(dataUrl->offset + dataUrl->size).erase(0, dataUrl->offset);
        request.png = std::move(body);
    } else if (png) {
        body.assign(*png);
        request.png = std::move(body);
    }
    return request;
}

}  // namespace lumora::ReaderHost
