#include "runtime/json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace lumora::json {
namespace {

TEST(Serialize, IsCompactAndKeepsOrderOnlyForOrderedDocuments) {
    OrderedDocument ordered;
    ordered["zeta"] = 1;
    ordered["alpha"] = {true, nullptr, "x"};
    ordered["mid"] = {{"b", 2}, {"a", 1.5}};
    EXPECT_EQ(serialize(ordered), R"({"zeta":1,"alpha":[true,null,"x"],"mid":{"b":2,"a":1.5}})");

    Document sorted;
    sorted["zeta"] = 1;
    sorted["alpha"] = 2;
    EXPECT_EQ(serializeSorted(sorted), R"({"alpha":2,"zeta":1})");
}

TEST(Serialize, EscapesControlsButKeepsUnicodeAndSlashes) {
    OrderedDocument document = {{"text", "line\nnext\t\"q\" \\ \x01 \u00E9 \u2028 a/b"}};
    EXPECT_EQ(serialize(document),
              "{\"text\":\"line\\nnext\\t\\\"q\\\" \\\\ \\u0001 \u00E9 \u2028 a/b\"}");
}

TEST(Serialize, ReplacesIllFormedUtf8InsteadOfFailing) {
    Document document = {{"text", std::string("a\xFF"
                                              "b")}};
    EXPECT_EQ(serialize(document), "{\"text\":\"a\uFFFDb\"}");
    OrderedDocument ordered = {{"text", std::string("\xC3")}};
    EXPECT_EQ(serialize(ordered), "{\"text\":\"\uFFFD\"}");
}

// Random documents of every value kind, with strings mixing every control byte, quotes,
// backslashes, multi-byte characters and ill-formed sequences: the output must equal
// nlohmann's own serialisation, which the app has always read.
TEST(Serialize, AgreesWithTheLibrarysOwnOutputOnRandomDocuments) {
    std::mt19937 random(11);
    const std::vector<std::string> pieces = {
        "a",      "Z ",         "\"",   "\\",   "/",        "\x7F",         "\u00E9",
        "\u2028", "\U0001F600", "\xFF", "\xC3", "\xE2\x82", "\xED\xA0\x80", "\xF4\x90\x80\x80",
    };
    auto randomText = [&] {
        std::string text;
        for (int n = static_cast<int>(random() % 12); n > 0; --n) {
            if (random() % 4 == 0) {
                text += static_cast<char>(random() % 0x20);
            } else {
                text += pieces[random() % pieces.size()];
            }
        }
        return text;
    };
    std::function<Document(int)> randomValue = [&](int depth) -> Document {
        switch (depth > 2 ? random() % 6 : random() % 8) {
            case 0:
                return nullptr;
            case 1:
                return random() % 2 == 0;
            case 2:
                return static_cast<std::int64_t>(random()) - (1LL << 31);
            case 3:
                return static_cast<double>(random()) / 7.0;
            case 4:
                return std::numeric_limits<std::uint64_t>::max() - random();
            case 5:
                return randomText();
            case 6: {
                Document array = Document::array();
                for (int n = static_cast<int>(random() % 4); n > 0; --n) {
                    array.push_back(randomValue(depth + 1));
                }
                return array;
            }
            default: {
                Document object = Document::object();
                for (int n = static_cast<int>(random() % 4); n > 0; --n) {
                    object[randomText()] = randomValue(depth + 1);
                }
                return object;
            }
        }
    };
    for (int round = 0; round < 2000; ++round) {
        Document document = randomValue(0);
        std::string expected = document.dump(-1, ' ', false, Document::error_handler_t::replace);
        ASSERT_EQ(serialize(document), expected);
        OrderedDocument ordered = OrderedDocument::parse(expected);
        ASSERT_EQ(serialize(ordered), expected);
    }
}

TEST(SerializeEscapingSlash, WritesEverySlashInKeysAndValuesEscaped) {
    OrderedDocument document;
    document["url"] = "https://example.com/a";
    document["path"] = "/";
    document["a/b"] = {1, "x/y"};
    document["plain"] = "no slash";
    EXPECT_EQ(
        serializeEscapingSlash(document),
        R"({"url":"https:\/\/example.com\/a","path":"\/","a\/b":[1,"x\/y"],"plain":"no slash"})");
}

TEST(SerializeEscapingSlash, MatchesPlainSerialisationWithoutSlashes) {
    OrderedDocument document = {{"n", 1}, {"s", "t\u00E9xt"}, {"l", {1, 2}}};
    EXPECT_EQ(serializeEscapingSlash(document), serialize(document));
}

TEST(SerializeEscapingSlash, ReadsBackAsTheOriginalStrings) {
    const std::vector<std::string> texts = {
        "/", "//", "\\/", "\\\\/", "a\\", "</script>", "\"/\"", "\u00E9/\U0001F600", "",
    };
    simdjson::dom::parser parser;
    for (const auto& text : texts) {
        SCOPED_TRACE(text);
        OrderedDocument document = {{"k/" + text, text}};
        std::string serialized = serializeEscapingSlash(document);
        for (std::size_t i = serialized.find('/'); i != std::string::npos;
             i = serialized.find('/', i + 1)) {
            EXPECT_EQ(serialized[i - 1], '\\') << serialized;
        }

        simdjson::padded_string padded(serialized);
        simdjson::dom::element root;
        ASSERT_EQ(parser.parse(padded).get(root), simdjson::SUCCESS);
        simdjson::dom::object object;
        ASSERT_EQ(root.get(object), simdjson::SUCCESS);
        std::size_t fields = 0;
        for (auto field : object) {
            ++fields;
            EXPECT_EQ(std::string(field.key), "k/" + text);
            std::string_view value;
            ASSERT_EQ(field.value.get(value), simdjson::SUCCESS);
            EXPECT_EQ(std::string(value), text);
        }
        EXPECT_EQ(fields, 1u);
    }
}

struct UnsignedCase {
    std::string json;
    std::optional<std::uint64_t> value;
};

TEST(UnsignedInteger, AcceptsOnlyNonNegativeIntegralNumbersBelowTwoToThe64) {
    constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    const std::vector<UnsignedCase> cases = {
        {"0", 0},
        {"42", 42},
        {"9223372036854775807", 9223372036854775807ull},
        {"9223372036854775808", 9223372036854775808ull},
        {"18446744073709551615", max},
        {"1e3", 1000},
        {"1.0", 1},
        {"0.0", 0},
        {"1e19", 10000000000000000000ull},
        {"4.5e15", 4500000000000000ull},
        {"-1", std::nullopt},
        {"-9223372036854775808", std::nullopt},
        {"-0.5", std::nullopt},
        {"1.5", std::nullopt},
        {"1e-3", std::nullopt},
        {"18446744073709551616.0", std::nullopt},
        {"1.8446744073709552e19", std::nullopt},
        {"1e300", std::nullopt},
        {"\"5\"", std::nullopt},
        {"true", std::nullopt},
        {"null", std::nullopt},
        {"[1]", std::nullopt},
        {"{\"a\":1}", std::nullopt},
    };
    simdjson::dom::parser parser;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        simdjson::padded_string padded(c.json);
        simdjson::dom::element element;
        ASSERT_EQ(parser.parse(padded).get(element), simdjson::SUCCESS);
        EXPECT_EQ(unsignedInteger(element), c.value);
    }
}

}  // namespace
}  // namespace lumora::json
