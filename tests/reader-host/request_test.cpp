#include "reader-host/request.h"

#include <gtest/gtest.h>
#include <simdjson.h>

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

// A body as the framing reads it: with spare room behind it, so that a data URL that needs no
// unescaping is taken from where it lies instead of from the parser's copy.
std::string asRead(std::string_view body) {
    std::string read;
    read.reserve(body.size() + simdjson::SIMDJSON_PADDING);
    read = body;
    return read;
}

std::string decodingFailureAsRead(std::string_view body) {
    try {
        decodeRequest(asRead(body));
    } catch (const Error& error) {
        return error.description;
    }
    return "decoded";
}

constexpr std::string_view envelope = R"("protocolVersion":1,"requestId":"a","type":"ocr")";

std::string withEnvelope(std::string_view fields) {
    return "{" + std::string(envelope) + "," + std::string(fields) + "}";
}

TEST(RequestTest, TakesTheDataUrlAsTheParserWouldGiveIt) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {R"("png":"data:image/png;base64,AAAA")", "data:image/png;base64,AAAA"},
        {R"("png":"")", ""},
        {R"("png":"data:\/escaped\u0041")", "data:/escapedA"},
        {"\"png\":\"caf\xc3\xa9\"", "caf\xc3\xa9"},
        {R"("png" : "spaced"  , "bookId":"b")", "spaced"},
        // Only the first of two keys counts, also when it is written with an escape.
        {R"("png":"first","png":"second")", "first"},
        {R"("p\u006eg":"escaped key","png":"plain key")", "escaped key"},
        // A key of that name inside another value is not the screenshot.
        {R"("extra":{"png":"nested"},"note":"\"png\":\"quoted\"","png":"top")", "top"},
        {R"("png":null)", std::nullopt},
    };
    for (const auto& [fields, png] : cases) {
        const std::string body = withEnvelope(fields);
        SCOPED_TRACE(body);
        const Request request = decodeRequest(asRead(body));
        EXPECT_EQ(request.png, png);
        EXPECT_EQ(request, decodeRequest(body));
    }
}

TEST(RequestTest, AnInvalidBodyWithADataUrlFailsAsItWouldWithoutOne) {
    for (const std::string& body : {
             withEnvelope(R"("png":"AAAA" "x":1)"),
             withEnvelope(R"("png":"AAAA",)"),
             withEnvelope(R"("png":"AAAA"}})"),
             withEnvelope(R"("list":[1,,2],"png":"AAAA")"),
             withEnvelope(R"("png":"AAAA","list":[1,,2])"),
             withEnvelope("\"png\":\"AA\x01"
                          "A\""),
             withEnvelope("\"png\":\"AA\xff"
                          "A\""),
             withEnvelope("\"note\":\"\xff\",\"png\":\"AAAA\""),
             withEnvelope(R"("png":"AA\qA")"),
             withEnvelope(R"("png":"AAAA)"),
             withEnvelope(R"("png":5)"),
             "[" + withEnvelope(R"("png":"AAAA")") + "]",
         }) {
        SCOPED_TRACE(body);
        const std::string failure = decodingFailure(body);
        EXPECT_NE(failure, "decoded");
        EXPECT_EQ(decodingFailureAsRead(body), failure);
    }
}

TEST(RequestTest, TextThatIsNotJsonSaysSo) {
    EXPECT_TRUE(
        decodingFailure("{\"protocolVersion\":").starts_with("The message is not valid JSON: "));
    EXPECT_TRUE(decodingFailure("\xff\xfe").starts_with("The message is not valid JSON: "));
}

}  // namespace
}  // namespace lumora::ReaderHost
