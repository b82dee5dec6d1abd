#include "reader-host/request.h"

#include <gtest/gtest.h>

#include "runtime/error.h"

namespace lumora::ReaderHost {
namespace {

std::string decodingFailure(const std::string& body) {
    try {
        decodeRequest(body);
    } catch (const Error& error) {
        return error.description;
    }
    return "decoded";
}

TEST(RequestTest, DecodesEveryFieldAndIgnoresUnknownKeys) {
    const Request request = decodeRequest(R"({
        "protocolVersion": 1, "requestId": "id", "type": "ocr", "url": "https://x/",
        "bookId": "B0", "region": {"x": 1.5, "y": 2, "width": 3, "height": 4, "z": true},
        "viewport": {"width": 1280, "height": 800}, "png": "data:", "payload": "{}",
        "extra": [1, 2]})");
    EXPECT_EQ(request, (Request{1, "id", "ocr", "https://x/", "B0", Rect{1.5, 2, 3, 4},
                                Viewport{1280, 800}, "data:", "{}"}));
}

TEST(RequestTest, NullOptionalKeysAreAbsent) {
    const Request request = decodeRequest(
        R"({"protocolVersion": 1.0, "requestId": "", "type": "", "url": null, "region": null})");
    EXPECT_EQ(request, (Request{1, "", "", std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                std::nullopt, std::nullopt}));
}

struct Undecodable {
    const char* name;
    const char* body;
    const char* description;
};

class UndecodableTest : public ::testing::TestWithParam<Undecodable> {};

TEST_P(UndecodableTest, NamesTheKeyAndTheProblem) {
    EXPECT_EQ(decodingFailure(GetParam().body), GetParam().description);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, UndecodableTest,
    ::testing::Values(
        Undecodable{"NotAnObject", "[1]", "The message is not a JSON object."},
        Undecodable{"MissingVersion", R"({"requestId":"a","type":"hello"})",
                    "Missing key \"protocolVersion\"."},
        Undecodable{"FractionalVersion", R"({"protocolVersion":1.5,"requestId":"a","type":"t"})",
                    "Key \"protocolVersion\" is not an integer."},
        Undecodable{"VersionAsString", R"({"protocolVersion":"1","requestId":"a","type":"t"})",
                    "Key \"protocolVersion\" is not an integer."},
        Undecodable{"VersionTooLarge",
                    R"({"protocolVersion":9223372036854775808,"requestId":"a","type":"t"})",
                    "Key \"protocolVersion\" is not an integer."},
        Undecodable{"MissingType", R"({"protocolVersion":1,"requestId":"a"})",
                    "Missing key \"type\"."},
        Undecodable{"NullRequestId", R"({"protocolVersion":1,"requestId":null,"type":"t"})",
                    "Key \"requestId\" is not a string."},
        Undecodable{"UrlAsNumber", R"({"protocolVersion":1,"requestId":"a","type":"t","url":5})",
                    "Key \"url\" is not a string."},
        Undecodable{"RegionAsArray",
                    R"({"protocolVersion":1,"requestId":"a","type":"t","region":[]})",
                    "Key \"region\" is not an object."},
        Undecodable{"RegionWithoutHeight",
                    R"({"protocolVersion":1,"requestId":"a","type":"t",
                        "region":{"x":0,"y":0,"width":1}})",
                    "Missing key \"region.height\"."},
        Undecodable{"ViewportWidthAsString",
                    R"({"protocolVersion":1,"requestId":"a","type":"t",
                        "viewport":{"width":"1","height":1}})",
                    "Key \"viewport.width\" is not a number."},
        Undecodable{"PayloadAsObject",
                    R"({"protocolVersion":1,"requestId":"a","type":"t","payload":{}})",
                    "Key \"payload\" is not a string."}),
    [](const auto& info) { return info.param.name; });

TEST(RequestTest, TextThatIsNotJsonSaysSo) {
    EXPECT_TRUE(
        decodingFailure("{\"protocolVersion\":").starts_with("The message is not valid JSON: "));
    EXPECT_TRUE(decodingFailure("\xff\xfe").starts_with("The message is not valid JSON: "));
}

}  // namespace
}  // namespace lumora::ReaderHost
