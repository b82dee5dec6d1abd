#include "assistant/host/request.h"

#include <algorithm>
#include <iterator>
#include <variant>
#include <vector>

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

namespace ondemand = simdjson::ondemand;

// Lines are at most 100,000 bytes, so an exponent past this bound cannot be offset by the
// number's digits: saturating at it keeps whether the number is whole and below 2^64.
constexpr std::int64_t exponentBound = 1'000'000'000;

// A JSON number as written: value = integer.fraction × 10^exponent.
struct NumberText {
    bool negative = false;
    std::string_view integer;
    std::string_view fraction;
    std::int64_t exponent = 0;
};

// None unless the token, less the white space simdjson leaves after it, follows JSON's number
// grammar.
std::optional<NumberText> numberText(std::string_view token) {
    while (!token.empty() && std::string_view(" \t\n\r").find(token.back()) != token.npos) {
        token.remove_suffix(1);
    }
    std::size_t at = 0;
    auto skip = [&](char c) {
        bool found = at < token.size() && token[at] == c;
        if (found) ++at;
        return found;
    };
    auto digits = [&] {
        std::size_t start = at;
        while (at < token.size() && token[at] >= '0' && token[at] <= '9') ++at;
        return token.substr(start, at - start);
    };
    NumberText number;
    number.negative = skip('-');
    number.integer = digits();
    if (number.integer.empty() || (number.integer.size() > 1 && number.integer[0] == '0')) {
        return std::nullopt;
    }
    if (skip('.')) {
        number.fraction = digits();
        if (number.fraction.empty()) return std::nullopt;
    }
    if (skip('e') || skip('E')) {
        bool negativeExponent = skip('-');
        if (!negativeExponent) skip('+');
        std::string_view exponent = digits();
        if (exponent.empty()) return std::nullopt;
        for (char digit : exponent) {
            number.exponent = std::min(number.exponent * 10 + (digit - '0'), exponentBound);
        }
        if (negativeExponent) number.exponent = -number.exponent;
    }
    if (at != token.size()) return std::nullopt;
    return number;
}

// The number's exact value when it is whole, not negative and below 2^64; decided from its
// digits, since a double would round ids above 2^53.
std::optional<std::uint64_t> exactUnsigned(const NumberText& number) {
    const std::size_t count = number.integer.size() + number.fraction.size();
    auto digit = [&](std::size_t i) -> unsigned {
        char c = i < number.integer.size() ? number.integer[i]
                                           : number.fraction[i - number.integer.size()];
        return static_cast<unsigned>(c - '0');
    };
    // value = (all the digits as one integer) × 10^scale
    const std::int64_t scale = number.exponent - static_cast<std::int64_t>(number.fraction.size());
    // The digits from `whole` on stand below the units place.
    std::size_t whole = count;
    if (scale < 0) {
        whole = static_cast<std::size_t>(
            std::max<std::int64_t>(0, static_cast<std::int64_t>(count) + scale));
    }
    for (std::size_t i = whole; i < count; ++i) {
        if (digit(i) != 0) return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < whole; ++i) {
        if (__builtin_mul_overflow(value, 10u, &value) ||
            __builtin_add_overflow(value, digit(i), &value)) {
            return std::nullopt;
        }
    }
    for (std::int64_t i = 0; value != 0 && i < scale; ++i) {
        if (__builtin_mul_overflow(value, 10u, &value)) return std::nullopt;
    }
    if (number.negative && value != 0) return std::nullopt;
    return value;
}

bool isNull(ondemand::value& value) {
    bool null = false;
    return value.is_null().get(null) == simdjson::SUCCESS && null;
}

// An array or object whose children are being checked; `started` once the iterator has
// handed out its first child.
struct OpenContainer {
    std::variant<ondemand::array_iterator, ondemand::object_iterator> children;
    bool started = false;
};

template <class Container>
bool open(simdjson::simdjson_result<Container> found, std::vector<OpenContainer>& stack) {
    Container container;
    if (std::move(found).get(container) != simdjson::SUCCESS) return false;
    auto first = container.begin();
    if (first.error() != simdjson::SUCCESS) return false;
    stack.push_back({first.value_unsafe()});
    return true;
}

// Checks a scalar, or opens a container onto the stack to check its children.
bool enter(ondemand::value value, std::vector<OpenContainer>& stack) {
    ondemand::json_type type;
    if (value.type().get(type) != simdjson::SUCCESS) return false;
    switch (type) {
        case ondemand::json_type::array:
            return open(value.get_array(), stack);
        case ondemand::json_type::object:
            return open(value.get_object(), stack);
        case ondemand::json_type::number:
            return numberText(value.raw_json_token()).has_value();
        case ondemand::json_type::string: {
            std::string_view text;
            return value.get_string().get(text) == simdjson::SUCCESS;
        }
        case ondemand::json_type::boolean: {
            bool flag = false;
            return value.get_bool().get(flag) == simdjson::SUCCESS;
        }
        case ondemand::json_type::null:
            return isNull(value);
    }
    return false;
}

bool childValue(simdjson::simdjson_result<ondemand::value> element,
                std::optional<ondemand::value>& child) {
    ondemand::value value;
    if (element.get(value) != simdjson::SUCCESS) return false;
    child = value;
    return true;
}

bool childValue(simdjson::simdjson_result<ondemand::field> member,
                std::optional<ondemand::value>& child) {
    ondemand::field field;
    std::string_view key;
    if (std::move(member).get(field) != simdjson::SUCCESS ||
        field.unescaped_key().get(key) != simdjson::SUCCESS) {
        return false;
    }
    child = field.value();
    return true;
}

// Checks a value nothing reads, so that a line that is not JSON is refused wherever its fault
// lies. Containers go on a stack rather than into recursion: the line's length is the only
// bound on their nesting.
bool skipValue(ondemand::value value) {
    std::vector<OpenContainer> stack;
    if (!enter(value, stack)) return false;
    while (!stack.empty()) {
        OpenContainer& top = stack.back();
        std::optional<ondemand::value> child;
        bool wellFormed = std::visit(
            [&](auto& children) {
                if (std::exchange(top.started, true)) ++children;
                // simdjson's iterators know by themselves when they are past the end; the
                // iterator compared with is never read.
                if (!(children != children)) return true;
                return childValue(*children, child);
            },
            top.children);
        if (!wellFormed) return false;
        if (!child) {
            stack.pop_back();
        } else if (!enter(*child, stack)) {
            return false;
        }
    }
    return true;
}

bool readText(ondemand::value& value, std::string& field) {
    std::string_view text;
    if (value.get_string().get(text) != simdjson::SUCCESS) return false;
    field = text;
    return true;
}

// Each reader takes one key's value into the request; false when the value has the wrong type.
// Null leaves an optional field absent.
using Reader = bool (*)(ondemand::value&, Request&);

bool readCommand(ondemand::value& value, Request& request) {
    return readText(value, request.command);
}

bool readId(ondemand::value& value, Request& request) {
    ondemand::json_type type;
    if (value.type().get(type) != simdjson::SUCCESS || type != ondemand::json_type::number) {
        return false;
    }
    std::optional<NumberText> number = numberText(value.raw_json_token());
    std::optional<std::uint64_t> id = number ? exactUnsigned(*number) : std::nullopt;
    if (!id) return false;
    request.id = *id;
    return true;
}

template <std::optional<std::string> Request::*field>
bool readString(ondemand::value& value, Request& request) {
    return isNull(value) || readText(value, (request.*field).emplace());
}

template <std::optional<bool> Request::*field>
bool readBoolean(ondemand::value& value, Request& request) {
    if (isNull(value)) return true;
    bool flag = false;
    if (value.get_bool().get(flag) != simdjson::SUCCESS) return false;
    request.*field = flag;
    return true;
}

bool readProvider(ondemand::value& value, Request& request) {
    if (isNull(value)) return true;
    std::string_view raw;
    if (value.get_string().get(raw) != simdjson::SUCCESS) return false;
    request.provider = assistantProviderFromRaw(raw);
    return request.provider.has_value();
}

bool readHoldBindings(ondemand::value& value, Request& request) {
    if (isNull(value)) return true;
    ondemand::object entries;
    if (value.get_object().get(entries) != simdjson::SUCCESS) return false;
    auto& bindings = request.holdBindings.emplace();
    for (auto entry : entries) {
        ondemand::field field;
        std::string_view name;
        std::string_view text;
        if (std::move(entry).get(field) != simdjson::SUCCESS ||
            field.unescaped_key().get(name) != simdjson::SUCCESS ||
            field.value().get_string().get(text) != simdjson::SUCCESS) {
            return false;
        }
        bindings.insert_or_assign(std::string(name), std::string(text));
    }
    return true;
}

struct Key {
    std::string_view name;
    Reader read;
};

// `command` and `id` come first: they are the keys every line must have.
constexpr Key keys[] = {
    {"command", readCommand},
    {"id", readId},
    {"mode", readString<&Request::mode>},
    {"provider", readProvider},
    {"action", readString<&Request::action>},
    {"message", readString<&Request::message>},
    {"language", readString<&Request::language>},
    {"transcriptionEngine", readString<&Request::transcriptionEngine>},
    {"instruction", readString<&Request::instruction>},
    {"context", readString<&Request::context>},
    {"output", readString<&Request::output>},
    {"text", readString<&Request::text>},
    {"key", readString<&Request::key>},
    {"modifiers", readString<&Request::modifiers>},
    {"restore", readBoolean<&Request::restore>},
    {"restoreClipboard", readBoolean<&Request::restoreClipboard>},
    {"holdBindings", readHoldBindings},
};
constexpr std::uint32_t requiredKeys = 0b11;
static_assert(std::size(keys) <= 32, "one bit per key");

}  // namespace

std::optional<Request> RequestDecoder::decode(std::string_view line) {
    // The parser tracks nesting in a table of a fixed depth, and a line can nest no deeper than
    // it is long: the table grows with the longest line seen, so no nesting overflows it.
    if (line.size() >= parser_.max_depth()) {
        const std::size_t depth = std::max(line.size() + 1, 2 * parser_.max_depth());
        if (parser_.allocate(std::max(parser_.capacity(), line.size()), depth) !=
            simdjson::SUCCESS) {
            return std::nullopt;
        }
    }
    padded_.reserve(line.size() + simdjson::SIMDJSON_PADDING);
    padded_.assign(line);
    ondemand::document document;
    ondemand::object fields;
    if (parser_.iterate(padded_).get(document) != simdjson::SUCCESS ||
        document.get_object().get(fields) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    Request request;
    // A bit per entry of `keys`: only a key's first occurrence is read, later ones are only
    // checked to be JSON.
    std::uint32_t read = 0;
    for (auto member : fields) {
        ondemand::field field;
        std::string_view name;
        if (std::move(member).get(field) != simdjson::SUCCESS ||
            field.unescaped_key().get(name) != simdjson::SUCCESS) {
            return std::nullopt;
        }
        const auto* key = std::ranges::find(keys, name, &Key::name);
        const std::uint32_t bit = 1u << (key - std::begin(keys));
        const bool first = key != std::end(keys) && !(read & bit);
        if (first) read |= bit;
        if (!(first ? key->read(field.value(), request) : skipValue(field.value()))) {
            return std::nullopt;
        }
    }
    // The document has no location left once all of it has been read.
    bool atEnd = document.current_location().error() == simdjson::OUT_OF_BOUNDS;
    if ((read & requiredKeys) != requiredKeys || !atEnd) return std::nullopt;
    return request;
}

}  // namespace lumora
