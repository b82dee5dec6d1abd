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
        InvalidCase{"trailingGarbage", R"({"command":"status","id":1} x)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RequestTest, DecodesIdsAcrossTheUnsignedRange) {
    RequestDecoder decoder;
    for (auto [text, id] : {std::pair{"0", 0ull}, std::pair{"7", 7ull},
                            std::pair{"18446744073709551615", 18446744073709551615ull}}) {
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
