#include "reader-host/message_loop.h"

#include <gtest/gtest.h>

#include "reader-host/failure.h"
#include "tests/reader-host/streams.h"

namespace lumora::ReaderHost {
namespace {

using nlohmann::json;
using testing::ChunkedInput;
using testing::framed;
using testing::RecordingOutput;
using testing::unframed;

const std::string id = "6F9619FF-8B86-4011-B42D-00C04FC964FF";

std::string request(const std::string& type, const std::string& requestId = id) {
    return framed(json{{"protocolVersion", 1}, {"requestId", requestId}, {"type", type}}.dump());
}

// Echoes the type, fails "fail", and answers "huge" with more than the response limit.
nlohmann::json echo(const Request& request) {
    if (request.type == "fail") throw failure("It failed");
    if (request.type == "huge") return {{"text", std::string(1'000'000, 'x')}};
    return {{"type", request.type}};
}

struct LoopRun {
    int status;
    std::vector<json> responses;
    std::string diagnostics;
};

LoopRun run(const std::string& input, std::size_t failOutputFrom = SIZE_MAX) {
    ChunkedInput in(input);
    RecordingOutput out(failOutputFrom);
    RecordingOutput diagnostics;
    const int status = runMessageLoop(in, out, diagnostics, echo);
    std::vector<json> responses;
    for (const auto& body : unframed(out.all())) responses.push_back(json::parse(body));
    return {status, responses, diagnostics.all()};
}

json errorResponse(const std::string& requestId, const std::string& message) {
    return {{"ok", false}, {"protocolVersion", 1}, {"requestId", requestId}, {"error", message}};
}

TEST(MessageLoopTest, AnswersEveryRequestInOrderAndEndsCleanly) {
    const LoopRun result = run(request("first") + framed("not json") + request("fail") +
                               request("huge") + request("last"));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.diagnostics, "");
    ASSERT_EQ(result.responses.size(), 5u);
    EXPECT_EQ(result.responses[0], (json{{"type", "first"}}));
    EXPECT_EQ(result.responses[1]["requestId"], "");
    EXPECT_EQ(result.responses[1]["ok"], false);
    EXPECT_EQ(result.responses[2], errorResponse(id, "It failed"));
    EXPECT_EQ(result.responses[3], errorResponse(id, "Response too large"));
    EXPECT_EQ(result.responses[4], (json{{"type", "last"}}));
}

TEST(MessageLoopTest, AFramingFailureEndsTheLoopAfterTheEarlierAnswers) {
    const LoopRun result = run(request("first") + testing::lengthHeader(0));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.diagnostics, "Native message exceeds limit\n");
    EXPECT_EQ(result.responses, (std::vector<json>{{{"type", "first"}}}));
}

TEST(MessageLoopTest, AnErrorResponseThatCannotBeWrittenIsFatal) {
    const LoopRun result = run(request("first") + request("second"), 0);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.diagnostics, "Broken pipe\n");
}

}  // namespace
}  // namespace lumora::ReaderHost
