#include "assistant/host/request.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

struct InvalidCase {
    const char* name;
    std::string line;
};

class InvalidRequestTest : public testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidRequestTest, IsRefused) {
    RequestDecoder decoder;
    EXPECT_FALSE(decoder.decode(GetParam().line).has_value()) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, InvalidRequestTest,
    testing::Values(
        InvalidCase{"empty", ""}, InvalidCase{"array", R"([{"command":"status","id":1}])"},
        InvalidCase{"notJson", "status"}, InvalidCase{"missingId", R"({"command":"status"})"},
        InvalidCase{"missingCommand", R"({"id":1})"},
        InvalidCase{"commandNotString", R"({"command":1,"id":1})"},
        InvalidCase{"nullCommand", R"({"command":null,"id":1})"},
        InvalidCase{"nullId", R"({"command":"status","id":null})"},
        InvalidCase{"negativeId", R"({"command":"status","id":-1})"},
        InvalidCase{"fractionalId", R"({"command":"status","id":1.5})"},
        InvalidCase{"idTwoToThe64", R"({"command":"status","id":18446744073709551616})"},
        InvalidCase{"idAsString", R"({"command":"status","id":"1"})"},
        InvalidCase{"unknownProvider", R"({"command":"ask","id":1,"provider":"remote"})"},
        InvalidCase{"providerNotString", R"({"command":"ask","id":1,"provider":1})"},
        InvalidCase{"modeNotString", R"({"command":"start","id":1,"mode":true})"},
        InvalidCase{"textNotString", R"({"command":"ask","id":1,"text":["a"]})"},
        InvalidCase{"restoreNotBool", R"({"command":"cancel","id":1,"restore":"yes"})"},
        InvalidCase{"restoreClipboardNumber",
                    R"({"command":"cancel","id":1,"restoreClipboard":1})"},
        InvalidCase{"holdBindingsArray",
                    R"({"command":"hold_configure","id":1,"holdBindings":["Hold:Fn"]})"},
        InvalidCase{"holdBindingsNonString",
                    R"({"command":"hold_configure","id":1,"holdBindings":{"assistant":1}})"},
        InvalidCase{"trailingGarbage", R"({"command":"status","id":1} x)"},
        InvalidCase{"secondDocument", R"({"command":"status","id":1}{})"},
        InvalidCase{"unclosed", R"({"command":"status","id":1)"},
        InvalidCase{"unclosedUnknown", R"({"command":"status","id":1,"x":{"y":1})"},
        InvalidCase{"trailingComma", R"({"command":"status","id":1,})"},
        InvalidCase{"idFractionBelowTheUnits", R"({"command":"status","id":1e-1})"},
        InvalidCase{"idTwoToThe64Written", R"({"command":"status","id":1.8446744073709551616e19})"},
        InvalidCase{"idHugeExponent", R"({"command":"status","id":1e99999999999999999999})"},
        InvalidCase{"idTinyExponent", R"({"command":"status","id":5e-99999999999999999999})"},
        InvalidCase{"idLeadingZero", R"({"command":"status","id":01})"},
        InvalidCase{"idLeadingPlus", R"({"command":"status","id":+1})"},
        InvalidCase{"idBarePoint", R"({"command":"status","id":1.})"},
        InvalidCase{"unknownMissingComma", R"({"command":"status","id":1,"x":[1 2]})"},
        InvalidCase{"unknownDoubleComma", R"({"command":"status","id":1,"x":[1,,2]})"},
        InvalidCase{"unknownMismatchedBracket", R"({"command":"status","id":1,"x":[1}})"},
        InvalidCase{"unknownKeyWithoutValue", R"({"command":"status","id":1,"x":{"y"}})"},
        InvalidCase{"unknownBadLiteral", R"({"command":"status","id":1,"x":[tru]})"},
        InvalidCase{"unknownBadEscape", R"({"command":"status","id":1,"x":"\q"})"},
        InvalidCase{"unknownBadKeyEscape", R"({"command":"status","id":1,"x":{"\q":1}})"},
        InvalidCase{"unknownBadNumber", R"({"command":"status","id":1,"x":[-]})"},
        InvalidCase{"unknownNumberWithLetters", R"({"command":"status","id":1,"x":12ab})"},
        InvalidCase{"unknownControlCharacter", "{\"command\":\"status\",\"id\":1,\"x\":\"a\tb\"}"},
        InvalidCase{"invalidUtf8", "{\"command\":\"status\",\"id\":1,\"x\":\"\xC3\"}"},
        InvalidCase{"duplicateKnownKeyMalformed", R"({"command":"status","id":1,"id":[1,]})"}),
    [](const auto& info) { return std::string(info.param.name); });

// Ids are read from the number's text, so the ones a double would round stay exact.
TEST(RequestTest, DecodesIdsAcrossTheUnsignedRange) {
    RequestDecoder decoder;
    for (auto [text, id] : {
             std::pair{"0", 0ull},
             std::pair{"7", 7ull},
             std::pair{"-0", 0ull},
             std::pair{"0.0e-7", 0ull},
             std::pair{"0e99999999999999999999", 0ull},
             std::pair{"5.0", 5ull},
             std::pair{"5E+0", 5ull},
             std::pair{"0.5e1", 5ull},
             std::pair{"50e-1", 5ull},
             std::pair{"9007199254740993", 9007199254740993ull},
             std::pair{"9007199254740993.0", 9007199254740993ull},
             std::pair{"90071992547409930e-1", 9007199254740993ull},
             std::pair{"1e19", 10000000000000000000ull},
             std::pair{"18446744073709551615", 18446744073709551615ull},
             std::pair{"18446744073709551615.000", 18446744073709551615ull},
             std::pair{"1.8446744073709551615e19", 18446744073709551615ull},
         }) {
        auto request = decoder.decode(std::string(R"({"command":"status","id":)") + text + "}");
        ASSERT_TRUE(request) << text;
        EXPECT_EQ(request->id, id);
        EXPECT_EQ(request->command, "status");
    }
}

TEST(RequestTest, DecodesEveryOptionalField) {
    RequestDecoder decoder;
    auto request = decoder.decode(R"({
        "command":"start","id":42,"mode":"assistant","provider":"cloud","action":"text",
        "message":"m","language":"fr-FR","transcriptionEngine":"whisper","instruction":"brief",
        "context":"region","output":"copy","text":"hello \/ \u00e9","key":"KeyA",
        "modifiers":"super+shift","restore":true,"restoreClipboard":false,
        "holdBindings":{"assistant":"Hold:Fn","dictation":"Hold:RightOption"},
        "unknown":{"nested":[1,2,3]}})");
    ASSERT_TRUE(request);
    Request expected;
    expected.command = "start";
    expected.id = 42;
    expected.mode = "assistant";
    expected.provider = AssistantProvider::cloud;
    expected.action = "text";
    expected.message = "m";
    expected.language = "fr-FR";
    expected.transcriptionEngine = "whisper";
    expected.instruction = "brief";
    expected.context = "region";
    expected.output = "copy";
    expected.text = "hello / \u00e9";
    expected.key = "KeyA";
    expected.modifiers = "super+shift";
    expected.restore = true;
    expected.restoreClipboard = false;
    expected.holdBindings = {{"assistant", "Hold:Fn"}, {"dictation", "Hold:RightOption"}};
    EXPECT_EQ(*request, expected);
    EXPECT_TRUE(request->isAssistantMode());
    EXPECT_TRUE(request->usesWhisper());
}

// Whatever an unknown key holds, the line stands: simdjson's document parser refused numbers
// beyond 64 bits or a double's range, and nesting past a fixed depth.
TEST(RequestTest, UnknownKeysNeverInvalidateALine) {
    const std::string deep = std::string(40'000, '[') + std::string(40'000, ']');
    const std::string unknownValues[] = {
        "18446744073709551616",
        "-99999999999999999999999",
        "1e400",
        "-1e-400",
        R"({"a":[1e400,{"b":123456789012345678901234567890}],"c":null,"d":true})",
        R"(["\ud83d\ude00",false,"\u00e9",{},[]])",
        deep,
    };
    RequestDecoder decoder;
    for (const std::string& value : unknownValues) {
        auto request = decoder.decode(R"({"command":"bogus","x":)" + value + R"(,"id":10})");
        ASSERT_TRUE(request) << value.substr(0, 80);
        EXPECT_EQ(request->command, "bogus");
        EXPECT_EQ(request->id, 10u);
    }
}

// The first occurrence of a key is the one read; later ones need only be JSON.
TEST(RequestTest, DuplicateKeysKeepTheFirstValue) {
    RequestDecoder decoder;
    auto request = decoder.decode(
        R"({"command":"ask","id":4,"text":null,"id":-1,"text":"later","command":1})");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->command, "ask");
    EXPECT_EQ(request->id, 4u);
    EXPECT_FALSE(request->text);
}

TEST(RequestTest, NullMeansAbsent) {
    RequestDecoder decoder;
    auto request = decoder.decode(
        R"({"command":"ask","id":3,"provider":null,"text":null,"restore":null,"holdBindings":null})");
    ASSERT_TRUE(request);
    EXPECT_FALSE(request->provider);
    EXPECT_FALSE(request->text);
    EXPECT_FALSE(request->restore);
    EXPECT_FALSE(request->holdBindings);
}

// Each optional key: a value of another type refuses the line, null leaves the field unset.
TEST(RequestTest, EveryOptionalKeyChecksItsTypeAndTakesNullAsAbsent) {
    const std::pair<const char*, const char*> keysWithWrongValues[] = {
        {"mode", "1"},
        {"provider", "1"},
        {"action", "1"},
        {"message", "false"},
        {"language", "{}"},
        {"transcriptionEngine", "[]"},
        {"instruction", "2.5"},
        {"context", "true"},
        {"output", "0"},
        {"text", "{}"},
        {"key", "1"},
        {"modifiers", "[\"super\"]"},
        {"restore", "1"},
        {"restoreClipboard", "\"no\""},
        {"holdBindings", "\"Hold:Fn\""},
    };
    RequestDecoder decoder;
    Request bare;
    bare.command = "status";
    bare.id = 1;
    for (auto [key, wrong] : keysWithWrongValues) {
        std::string head = std::string(R"({"command":"status","id":1,")") + key + "\":";
        EXPECT_FALSE(decoder.decode(head + wrong + "}")) << key;
        auto request = decoder.decode(head + "null}");
        ASSERT_TRUE(request) << key;
        EXPECT_EQ(*request, bare) << key;
    }
}

TEST(RequestTest, LocalProviderAndIntegralFloatId) {
    RequestDecoder decoder;
    auto request = decoder.decode(R"({"command":"ask","id":5.0,"provider":"local"})");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->id, 5u);
    EXPECT_EQ(request->provider, AssistantProvider::local);
}

TEST(RequestTest, DecoderIsReusableAfterAFailure) {
    RequestDecoder decoder;
    EXPECT_FALSE(decoder.decode("{"));
    auto request = decoder.decode(R"({"command":"cancel","id":9})");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->id, 9u);
}

}  // namespace
}  // namespace lumora
