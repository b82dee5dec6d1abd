#include "assistant/generation/assistant_source.h"

#include "runtime/json.h"

namespace lumora {

std::string AssistantSource::json() const {
    json::OrderedDocument document;
    document["app"] = app;
    document["windowTitle"] = windowTitle;
    document["focusedRole"] = focusedRole;
    document["focusedLabel"] = focusedLabel;
    return json::serializeEscapingSlash(document);
}

std::optional<AssistantSource> AssistantSource::fromJson(std::string_view text) {
    simdjson::dom::parser parser;
    simdjson::dom::object object;
    if (parser.parse(text.data(), text.size()).get(object) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    AssistantSource source;
    for (auto [key, field] :
         {std::pair{"app", &source.app}, std::pair{"windowTitle", &source.windowTitle},
          std::pair{"focusedRole", &source.focusedRole},
          std::pair{"focusedLabel", &source.focusedLabel}}) {
        std::string_view value;
        if (object[key].get(value) != simdjson::SUCCESS) return std::nullopt;
        field->assign(value);
    }
    return source;
}

}  // namespace lumora
