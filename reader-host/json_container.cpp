#include "reader-host/json_container.h"

#include "runtime/error.h"

namespace lumora::ReaderHost {
namespace {

using simdjson::dom::element_type;

[[noreturn]] void fail(simdjson::error_code code) {
    throw Error(std::string(jsonErrorDomain), static_cast<int>(code),
                simdjson::error_message(code));
}

}  // namespace

simdjson::dom::element parseContainer(simdjson::dom::parser& parser, std::string_view bytes) {
    simdjson::dom::element top;
    if (const auto error = parser.parse(bytes.data(), bytes.size()).get(top);
        error != simdjson::SUCCESS)
        fail(error);
    if (top.type() != element_type::OBJECT && top.type() != element_type::ARRAY)
        fail(simdjson::TAPE_ERROR);
    return top;
}

json::Document toDocument(simdjson::dom::element element) {
    switch (element.type()) {
        case element_type::OBJECT: {
            const simdjson::dom::object fields = element;
            json::Document object = json::Document::object();
            for (const auto [key, value] : fields) object[std::string(key)] = toDocument(value);
            return object;
        }
        case element_type::ARRAY: {
            const simdjson::dom::array values = element;
            json::Document array = json::Document::array();
            for (const auto value : values) array.push_back(toDocument(value));
            return array;
        }
        case element_type::STRING:
            return std::string(element.get_string().value_unsafe());
        case element_type::INT64:
            return element.get_int64().value_unsafe();
        case element_type::UINT64:
            return element.get_uint64().value_unsafe();
        case element_type::DOUBLE:
            return element.get_double().value_unsafe();
        case element_type::BOOL:
            return element.get_bool().value_unsafe();
        case element_type::NULL_VALUE:
            return nullptr;
    }
    return nullptr;
}

}  // namespace lumora::ReaderHost
