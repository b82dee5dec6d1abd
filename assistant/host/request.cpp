#include "assistant/host/request.h"

namespace lumora {

std::optional<AssistantProvider> assistantProviderFromRaw(std::string_view raw) {
    if (raw == "local") return AssistantProvider::local;
    if (raw == "cloud") return AssistantProvider::cloud;
    return std::nullopt;
}

std::string_view rawValue(AssistantProvider provider) {
    return provider == AssistantProvider::cloud ? "cloud" : "local";
}

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

// Reads one optional field. A missing key or null leaves it absent; any other value must
// convert, or the whole line is invalid.
class FieldReader {
  public:
    explicit FieldReader(object fields) : fields_(fields) {}

    bool valid() const { return valid_; }

    std::optional<element> present(std::string_view key) {
        element value;
        if (fields_[key].get(value) != simdjson::SUCCESS) return std::nullopt;
        if (value.is_null()) return std::nullopt;
        return value;
    }

    void string(std::string_view key, std::optional<std::string>& field) {
        if (auto value = present(key)) {
            std::string_view text;
            if (value->get(text) != simdjson::SUCCESS) return fail();
            field.emplace(text);
        }
    }

    void boolean(std::string_view key, std::optional<bool>& field) {
        if (auto value = present(key)) {
            bool flag = false;
            if (value->get(flag) != simdjson::SUCCESS) return fail();
            field = flag;
        }
    }

    void provider(std::string_view key, std::optional<AssistantProvider>& field) {
        std::optional<std::string> raw;
        string(key, raw);
        if (!raw) return;
        field = assistantProviderFromRaw(*raw);
        if (!field) fail();
    }

    void stringMap(std::string_view key, std::optional<std::map<std::string, std::string>>& field) {
        auto value = present(key);
        if (!value) return;
        object entries;
        if (value->get(entries) != simdjson::SUCCESS) return fail();
        std::map<std::string, std::string> map;
        for (auto [name, entry] : entries) {
            std::string_view text;
            if (entry.get(text) != simdjson::SUCCESS) return fail();
            map.insert_or_assign(std::string(name), std::string(text));
        }
        field = std::move(map);
    }

  private:
    void fail() { valid_ = false; }

    object fields_;
    bool valid_ = true;
};

}  // namespace

std::optional<Request> RequestDecoder::decode(std::string_view line) {
    object fields;
    if (parser_.parse(line.data(), line.size()).get(fields) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    Request request;
    std::string_view command;
    if (fields["command"].get(command) != simdjson::SUCCESS) return std::nullopt;
    request.command = command;
    element id;
    if (fields["id"].get(id) != simdjson::SUCCESS) return std::nullopt;
    auto idValue = json::unsignedInteger(id);
    if (!idValue) return std::nullopt;
    request.id = *idValue;

    FieldReader reader(fields);
    reader.string("mode", request.mode);
    reader.provider("provider", request.provider);
    reader.string("action", request.action);
    reader.string("message", request.message);
    reader.string("language", request.language);
    reader.string("transcriptionEngine", request.transcriptionEngine);
    reader.string("instruction", request.instruction);
    reader.string("context", request.context);
    reader.string("output", request.output);
    reader.string("text", request.text);
    reader.string("key", request.key);
    reader.string("modifiers", request.modifiers);
    reader.boolean("restore", request.restore);
    reader.boolean("restoreClipboard", request.restoreClipboard);
    reader.stringMap("holdBindings", request.holdBindings);
    if (!reader.valid()) return std::nullopt;
    return request;
}

}  // namespace lumora
