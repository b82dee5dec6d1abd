// Untrusted JSON whose top level must be an object or an array, as a strict platform parser
// reads it: a bare string, number or literal is a syntax error like any other.
#pragma once

#include <simdjson.h>

#include <string_view>

#include "runtime/json.h"

namespace lumora::ReaderHost {

inline constexpr std::string_view jsonErrorDomain = "Lumora.Reader.JSON";

// The parsed top level, valid as long as `parser` is untouched. Throws lumora::Error whose
// description is the parser's own message.
simdjson::dom::element parseContainer(simdjson::dom::parser& parser, std::string_view bytes);

// The same value as a document the host can put into a response.
json::Document toDocument(simdjson::dom::element element);

}  // namespace lumora::ReaderHost
