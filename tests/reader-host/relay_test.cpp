#include "reader-host/relay.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/linux/curl_http.h"
#include "reader-host/bridge_file.h"
#include "runtime/error.h"
#include "tests/reader-host/test_services.h"
#include "tests/support/loopback_server.h"

namespace lumora::ReaderHost {
namespace {

using lumora::test_support::LoopbackServer;
using nlohmann::json;
using testing::TemporaryDirectory;

const std::string token = "3f2504e0-4f89-41d3-9a0c-0305e82c3301";

class RelayTest : public ::testing::Test {
  protected:
    RelayTest() { system.home = home.path(); }

    void writeBridge(const std::string& contents) {
        testing::writeFile(bridgePath(home.path()), contents);
    }
    void bridgeTo(int port) {
        writeBridge(json{{"port", port}, {"token", token}, {"version", 3}}.dump());
    }

    Request relayRequest(std::string payload = R"({"reader":"x"})",
                         std::string type = "relay-poll") {
        Request request;
        request.protocolVersion = 1;
        request.requestId = "6F9619FF-8B86-4011-B42D-00C04FC964FF";
        request.type = std::move(type);
        request.payload = std::move(payload);
        return request;
    }

    nlohmann::json send(const Request& request) { return relay(request, system, http); }

    std::string failure(const Request& request) {
        try {
            send(request);
        } catch (const Error& error) {
            return error.description;
        }
        return "succeeded";
    }

    TemporaryDirectory home;
    testing::FakeSystem system;
    platform::CurlHttp http;
};

TEST_F(RelayTest, PostsThePayloadToTheEndpointWithTheToken) {
    LoopbackServer app(LoopbackServer::replying(200, R"({"messages":[1,"two",null],"n":1.5})"));
    bridgeTo(app.port());
    // Key order, spacing and escapes: the bytes go out as received.
    const std::string payload = "{\"b\": 1,  \"a\":\"\\u00e9\\n\"}";
    EXPECT_EQ(send(relayRequest(payload)),
              (json{{"ok", true},
                    {"protocolVersion", 1},
                    {"requestId", "6F9619FF-8B86-4011-B42D-00C04FC964FF"},
                    {"data", {{"messages", {1, "two", nullptr}}, {"n", 1.5}}}}));
    const auto received = app.received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].path, "/poll");
    EXPECT_EQ(received[0].authorization, "Bearer " + token);
    EXPECT_EQ(received[0].contentType, "application/json");
    EXPECT_EQ(received[0].body, payload);
}

TEST_F(RelayTest, EveryRelayTypeHasItsEndpoint) {
    LoopbackServer app;
    bridgeTo(app.port());
    const std::vector<std::pair<std::string, std::string>> types = {
        {"relay-register", "/register"}, {"relay-poll", "/poll"},
        {"relay-reply", "/reply"},       {"relay-disconnect", "/disconnect"},
        {"relay-controls", "/controls"}, {"relay-control", "/control"}};
    for (const auto& [type, path] : types) send(relayRequest("{}", type));
    const auto received = app.received();
    ASSERT_EQ(received.size(), types.size());
    for (std::size_t i = 0; i < types.size(); ++i) EXPECT_EQ(received[i].path, types[i].second);
}

TEST_F(RelayTest, RefusesBadRequestsBeforeReadingTheBridge) {
    // No bridge file: a request that got as far as the bridge would fail differently.
    EXPECT_EQ(failure(relayRequest("{}", "relay-unknown")), "Invalid app relay request");
    Request noPayload = relayRequest();
    noPayload.payload.reset();
    EXPECT_EQ(failure(noPayload), "Invalid app relay request");
    EXPECT_EQ(failure(relayRequest("[1,2]")), "Invalid app relay request");
    EXPECT_EQ(failure(relayRequest("{\"a\":")), simdjson::error_message(simdjson::TAPE_ERROR));
    EXPECT_EQ(failure(relayRequest("\"just a string\"")),
              simdjson::error_message(simdjson::TAPE_ERROR));
    EXPECT_EQ(failure(relayRequest("")), simdjson::error_message(simdjson::EMPTY));
}

TEST_F(RelayTest, ForwardsAPayloadOfExactlyTheLimit) {
    LoopbackServer app;
    bridgeTo(app.port());
    const auto payloadOf = [](std::size_t bytes) {
        return "{\"a\":\"" + std::string(bytes - 8, 'x') + "\"}";
    };
    EXPECT_EQ(send(relayRequest(payloadOf(899'999)))["data"], json::object());
    EXPECT_EQ(failure(relayRequest(payloadOf(900'000))), "Invalid app relay request");
    const auto received = app.received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].body.size(), 899'999u);
}

class BadBridgeTest : public RelayTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BadBridgeTest, AsksForTheUpdatedApp) {
    if (*GetParam() != '\0') writeBridge(GetParam());
    EXPECT_EQ(failure(relayRequest()), "Open the updated Lumora app to connect the reader relay.");
}

INSTANTIATE_TEST_SUITE_P(
    Bridges, BadBridgeTest,
    ::testing::Values("",  // no file at all
                      "not json", "[8765]",
                      R"({"port":0,"token":"3f2504e0-4f89-41d3-9a0c-0305e82c3301"})",
                      R"({"port":65536,"token":"3f2504e0-4f89-41d3-9a0c-0305e82c3301"})",
                      R"({"port":"8765","token":"3f2504e0-4f89-41d3-9a0c-0305e82c3301"})",
                      R"({"port":87.5,"token":"3f2504e0-4f89-41d3-9a0c-0305e82c3301"})",
                      R"({"port":true,"token":"3f2504e0-4f89-41d3-9a0c-0305e82c3301"})",
                      R"({"token":"3f2504e0-4f89-41d3-9a0c-0305e82c3301"})",
                      R"({"port":8765,"token":"3f2504e0-4f89-41d3-9a0c-0305e82c330"})",
                      R"({"port":8765,"token":42})", R"({"port":8765})"));

TEST(BridgeFileTest, AcceptsTheWholePortRange) {
    EXPECT_EQ(parseBridge(R"({"port":1,"token":"3F2504E0-4F89-41D3-9A0C-0305E82C3301"})"),
              (Bridge{1, "3F2504E0-4F89-41D3-9A0C-0305E82C3301"}));
    EXPECT_EQ(parseBridge(R"({"port":65535.0,"token":"3f2504e0-4f89-41d3-9a0c-0305e82c3301"})"),
              (Bridge{65535, "3f2504e0-4f89-41d3-9a0c-0305e82c3301"}));
}

struct Reply {
    const char* name;
    int status;
    std::string body;
    std::string failure;
};

class ReplyTest : public RelayTest, public ::testing::WithParamInterface<Reply> {};

TEST_P(ReplyTest, IsJudgedByItsSizeShapeAndStatus) {
    LoopbackServer app(LoopbackServer::replying(GetParam().status, GetParam().body));
    bridgeTo(app.port());
    EXPECT_EQ(failure(relayRequest()), GetParam().failure);
}

std::string replyOfSize(std::size_t bytes) {
    return "{\"a\":\"" + std::string(bytes - 8, 'x') + "\"}";
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    ::testing::Values(
        Reply{"ErrorString", 403, R"({"error":"Reader not paired"})", "Reader not paired"},
        Reply{"ErrorNotAString", 403, R"({"error":7})",
              "The Lumora app relay refused the request."},
        Reply{"EmptyObjectWithServerError", 500, "{}", "The Lumora app relay refused the request."},
        Reply{"EmptyBody", 200, "", simdjson::error_message(simdjson::EMPTY)},
        Reply{"BareNumber", 200, "42", simdjson::error_message(simdjson::TAPE_ERROR)},
        Reply{"BrokenJsonWithError", 500,
              "{\"error\":", simdjson::error_message(simdjson::TAPE_ERROR)},
        Reply{"Array", 200, "[{}]", "Invalid Lumora app reply."},
        Reply{"OneByteOverTheLimit", 200, replyOfSize(950'000), "Invalid Lumora app reply."},
        Reply{"ExactlyTheLimit", 200, replyOfSize(949'999), "succeeded"}),
    [](const auto& info) { return info.param.name; });

TEST_F(RelayTest, AnAppThatIsNotListeningFailsWithTheTransportError) {
    lumora::test_support::RefusingPort port;
    bridgeTo(port.port());
    const std::string message = failure(relayRequest());
    EXPECT_TRUE(
        message.starts_with("Failed to connect to 127.0.0.1 port " + std::to_string(port.port())))
        << message;
    EXPECT_TRUE(message.ends_with("Couldn't connect to server")) << message;
}

TEST_F(RelayTest, ARedirectIsNotFollowed) {
    LoopbackServer app([](const httplib::Request& request, httplib::Response& response) {
        if (request.path == "/poll") {
            response.status = 307;
            response.set_header("Location", "/elsewhere");
        }
        response.set_content("{}", "application/json");
    });
    bridgeTo(app.port());
    EXPECT_EQ(failure(relayRequest()), "The Lumora app relay refused the request.");
    EXPECT_EQ(app.received().size(), 1u);
}

TEST_F(RelayTest, TheBridgeIsReadAfreshForEveryRequest) {
    LoopbackServer first;
    LoopbackServer second;
    bridgeTo(first.port());
    send(relayRequest());
    bridgeTo(second.port());
    send(relayRequest());
    EXPECT_EQ(first.received().size(), 1u);
    EXPECT_EQ(second.received().size(), 1u);
}

// Records what the relay asks of the transport, and answers like an app that accepts it.
class RecordingHttp final : public platform::Http {
  public:
    std::vector<platform::HttpRequest> requests;
    platform::HttpResponse post(const platform::HttpRequest& request) override {
        requests.push_back(request);
        return {200, "{}", false};
    }
};

TEST_F(RelayTest, AsksTheTransportForEightSecondsAndTheReplyLimit) {
    writeBridge(json{{"port", 8765}, {"token", token}}.dump());
    RecordingHttp recording;
    relay(relayRequest(), system, recording);
    ASSERT_EQ(recording.requests.size(), 1u);
    EXPECT_EQ(recording.requests[0].url, "http://127.0.0.1:8765/poll");
    EXPECT_EQ(recording.requests[0].timeoutSeconds, 8);
    EXPECT_EQ(recording.requests[0].maxResponseBytes, 949'999u);
}

TEST_F(RelayTest, AnAppThatNeverAnswersTimesOut) {
    lumora::test_support::SilentListener app;
    bridgeTo(app.port());
    const std::string message = failure(relayRequest());
    const std::string prefix = "Operation timed out after ";
    ASSERT_TRUE(message.starts_with(prefix)) << message;
    // The transport states how long it waited; eight seconds, not a default of its own.
    const long waited = std::stol(message.substr(prefix.size()));
    EXPECT_GE(waited, 8000) << message;
    EXPECT_LT(waited, 9000) << message;
}

}  // namespace
}  // namespace lumora::ReaderHost
