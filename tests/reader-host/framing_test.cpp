#include "reader-host/framing.h"

#include <gtest/gtest.h>

#include "tests/reader-host/streams.h"

namespace lumora::ReaderHost {
namespace {

using testing::ChunkedInput;
using testing::framed;
using testing::lengthHeader;
using testing::RecordingOutput;

std::string failureOf(ChunkedInput& input) {
    try {
        readMessage(input);
    } catch (const Error& error) {
        return error.description;
    }
    return "no failure";
}

TEST(FramingTest, ReadsAskForTheMissingBytesUntilComplete) {
    ChunkedInput input(framed("{\"a\":1}"), 3);
    EXPECT_EQ(readMessage(input), "{\"a\":1}");
    EXPECT_EQ(input.requests, (std::vector<std::size_t>{4, 1, 7, 4, 1}));
    EXPECT_EQ(readMessage(input), std::nullopt);
}

TEST(FramingTest, ReadExactIsNoneOnlyBeforeTheFirstByte) {
    ChunkedInput empty("");
    EXPECT_EQ(readExact(empty, 5), std::nullopt);
    ChunkedInput shortInput("abc");
    try {
        readExact(shortInput, 5);
        FAIL() << "a short read must fail";
    } catch (const Error& error) {
        EXPECT_EQ(error.description, "Truncated native message");
        EXPECT_EQ(error.domain, "Lumora.Reader");
        EXPECT_EQ(error.code, 1);
    }
}

struct BrokenFrame {
    const char* name;
    std::string bytes;
    const char* failure;
    std::size_t consumed;
};

class BrokenFrameTest : public ::testing::TestWithParam<BrokenFrame> {};

TEST_P(BrokenFrameTest, FailsWithItsMessageAndReadsNoFurther) {
    ChunkedInput input(GetParam().bytes);
    EXPECT_EQ(failureOf(input), GetParam().failure);
    EXPECT_EQ(input.consumed(), GetParam().consumed);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BrokenFrameTest,
    ::testing::Values(
        BrokenFrame{"HeaderCut", std::string("\x05\x00", 2), "Truncated native message", 2},
        BrokenFrame{"ZeroLength", lengthHeader(0) + "{}", "Native message exceeds limit", 4},
        BrokenFrame{"OneOverTheLimit", lengthHeader(32'000'001) + std::string(64, ' '),
                    "Native message exceeds limit", 4},
        BrokenFrame{"HugeLength", lengthHeader(0xffffffff), "Native message exceeds limit", 4},
        BrokenFrame{"NoBody", lengthHeader(10), "Missing native message", 4},
        BrokenFrame{"BodyCut", lengthHeader(10) + "1234", "Truncated native message", 8}),
    [](const auto& info) { return info.param.name; });

TEST(FramingTest, AcceptsAMessageOfExactlyTheLimit) {
    std::string body(32'000'000, ' ');
    body.front() = '{';
    body.back() = '}';
    ChunkedInput input(framed(body));
    const auto read = readMessage(input);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), 32'000'000u);
}

TEST(FramingTest, WritesTheLengthThenTheJsonAsTwoWrites) {
    RecordingOutput output;
    writeResponse(output, json::Document{{"ok", true}, {"text", "é"}});
    const std::string body = R"({"ok":true,"text":"é"})";
    EXPECT_EQ(output.writes, (std::vector<std::string>{lengthHeader(body.size()), body}));
}

TEST(FramingTest, RefusesAResponseAboveTheLimitWithoutWritingIt) {
    // {"t":"…"} is 8 bytes around the text.
    const auto response = [](std::size_t bytes) {
        return json::Document{{"t", std::string(bytes - 8, 'a')}};
    };
    RecordingOutput output;
    writeResponse(output, response(999'999));
    ASSERT_EQ(output.writes.size(), 2u);
    EXPECT_EQ(output.writes[1].size(), 999'999u);

    RecordingOutput refused;
    try {
        writeResponse(refused, response(1'000'000));
        FAIL() << "an oversized response must be refused";
    } catch (const Error& error) {
        EXPECT_EQ(error.description, "Response too large");
    }
    EXPECT_TRUE(refused.writes.empty());
}

}  // namespace
}  // namespace lumora::ReaderHost
