// The language model as a client of a local chat-completions server, against a scripted server
// on loopback: what a server may send in a stream, how each failure reads, what availability
// says, what a request carries, and that cancelling closes the connection.
#include "platform/linux/server_language_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "assistant/generation/model_client.h"
#include "runtime/json.h"
#include "runtime/thread_pool.h"
#include "tests/runtime/real_loop.h"
#include "tests/support/eventually.h"
#include "tests/support/loopback_server.h"

namespace lumora::platform {
namespace {

using lumora::test_support::LoopbackServer;
using ::testing::HasSubstr;

std::string delta(const std::string& content) {
    return "data: " +
           json::serialize(json::Document{
               {"choices",
                json::Document::array({{{"index", 0}, {"delta", {{"content", content}}}}})}}) +
           "\n\n";
}

constexpr const char* done = "data: [DONE]\n\n";

const std::string tinyList = R"({"object":"list","data":[{"id":"tiny"},{"id":"big"}]})";

// A model server whose answers are scripted by path; the model list serves "tiny" and "big"
// unless scripted otherwise, and any other path is not found.
struct ScriptedServer {
    explicit ScriptedServer(std::map<std::string, LoopbackServer::Handler> paths)
        : server([paths](const httplib::Request& request, httplib::Response& response) {
              auto found = paths.find(request.path);
              if (found != paths.end()) return found->second(request, response);
              if (request.path == "/v1/models") {
                  return LoopbackServer::replying(200, tinyList)(request, response);
              }
              response.status = 404;
          }) {}

    ModelServerSettings settings(std::map<std::string, std::string> environment = {}) const {
        environment.emplace("LUMORA_MODEL_SERVER_URL", url());
        return modelServerSettings([environment](const char* name) -> std::optional<std::string> {
            auto found = environment.find(name);
            if (found == environment.end()) return std::nullopt;
            return found->second;
        });
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(server.port()); }

    LoopbackServer server;
};

// Writes `pieces` as they are, then ends the reply, or drops the connection when `dropped`.
LoopbackServer::Handler streaming(std::vector<std::string> pieces, bool dropped = false) {
    return [pieces, dropped](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider(
            "text/event-stream", [pieces, dropped](std::size_t, httplib::DataSink& sink) {
                for (const std::string& piece : pieces) sink.write(piece.data(), piece.size());
                if (dropped) return false;
                sink.done();
                return true;
            });
    };
}

struct Streamed {
    std::vector<std::string> snapshots;
    std::optional<Error> failure;
};

class ServerLanguageModelTest : public ::testing::Test {
  protected:
    // Every snapshot of one streamed answer, or as many as `wanted`, after which the consumer
    // leaves.
    Streamed stream(ServerLanguageModel& model, ModelPrompt prompt = {std::nullopt, "Hi"},
                    std::size_t wanted = SIZE_MAX) {
        ModelClient client(model, pool);
        Streamed outcome;
        auto body = [&]() -> Task<void> {
            auto session = client.session(ModelConfiguration::generalPermissive, "Be brief.");
            auto stream = client.streamResponse(session, std::move(prompt));
            try {
                while (outcome.snapshots.size() < wanted) {
                    std::optional<std::string> snapshot = co_await stream.next();
                    if (!snapshot) break;
                    outcome.snapshots.push_back(*snapshot);
                }
            } catch (const Error& error) {
                outcome.failure = error;
            }
        };
        test_support::runToCompletion(loop, body());
        return outcome;
    }

    SystemClock clock;
    EventLoop loop{clock};
    ThreadPool pool{2};
};

struct StreamCase {
    const char* name;
    LoopbackServer::Handler chat;
    std::string answer;   // the last snapshot, when there is one
    std::string failure;  // a part of the failure's description; empty when the answer ends well
};

std::vector<StreamCase> streamCases() {
    const std::string big(600 * 1024, 'x');
    return {
        {"ServerQuirks",
         streaming(
             {": keep-alive\n\n", "data:\n\n", "event: ping\ndata: tick\n\n",
              R"(data: {"choices":null})"
              "\n\n",
              R"(data: {"choices":[{"index":0,"delta":{"role":"assistant","content":null}}]})"
              "\n\n",
              R"(data: {"choices":[{"index":0,"delta":{"reasoning_content":"Plan."}}]})"
              "\n\n",
              R"(data: {"choices":[{"index":0,"delta":{"reasoning":"More."}}]})"
              "\n\n",
              delta(""), "event: message\r\n" + delta("0|Hi").substr(0, 60),
              delta("0|Hi").substr(60) +
                  R"(data: {"choices":[{"index":0,"delta":{"content":" thé"},"finish_reason":"stop"}]})"
                  "\r\n\r\n",
              R"(data: {"choices":[],"usage":{"completion_tokens":3}})"
              "\n\n",
              R"(data: {"timings":{"predicted_n":3}})"
              "\n\n",
              done}),
         "0|Hi thé", ""},
        {"InlineReasoning",
         streaming({delta("\n<thi"), delta("nk>plan</think>\n\n"), delta("0|Yes"), done}), "0|Yes",
         ""},
        {"NoEndMarker",
         streaming({delta("0|Hal")}),
         {"0|Hal"},
         "stopped before finishing its answer"},
        {"DroppedConnection",
         streaming({delta("0|Hal")}, true),
         {"0|Hal"},
         "stopped before finishing its answer"},
        {"ErrorInsideTheStream",
         streaming({delta("0|A"),
                    R"(data: {"error":{"code":500,"message":"Context size exceeded"}})"
                    "\n\n"}),
         "0|A", "The model server failed while answering: Context size exceeded."},
        {"MalformedLine",
         streaming({delta("0|A"), "data: {not json\n\n", done}),
         {"0|A"},
         "could not be read"},
        {"OversizedAnswer",
         streaming({delta(big), delta(big), done}),
         {big},
         "grew beyond 1024 KiB"},
        {"StillLoading",
         LoopbackServer::replying(503, R"({"error":{"message":"Loading model"}})"),
         {},
         "is still loading its model"},
        {"ModelMissing",
         LoopbackServer::replying(404, R"({"error":{"message":"model 'x' not found"}})"),
         {},
         "The model server refused the request (HTTP 404): model 'x' not found."},
        {"ErrorEvent",
         streaming({delta("0|A"), "event: error\ndata: {\"message\":\"upstream failed\"}\n\n"}),
         "0|A", "The model server failed while answering: upstream failed."},
    };
}

class StreamedAnswers : public ServerLanguageModelTest,
                        public ::testing::WithParamInterface<StreamCase> {};

TEST_P(StreamedAnswers, GrowByTheAnswerOnlyAndFailWithASentence) {
    ScriptedServer server({{"/v1/chat/completions", GetParam().chat}});
    ServerLanguageModel model(server.settings());
    Streamed outcome = stream(model);
    // A consumer slower than the server may miss a snapshot, never see one shrink or repeat.
    for (std::size_t n = 1; n < outcome.snapshots.size(); ++n) {
        EXPECT_TRUE(outcome.snapshots[n].starts_with(outcome.snapshots[n - 1]));
        EXPECT_NE(outcome.snapshots[n], outcome.snapshots[n - 1]);
    }
    EXPECT_EQ(outcome.snapshots.empty() ? "" : outcome.snapshots.back(), GetParam().answer);
    if (GetParam().failure.empty()) {
        EXPECT_FALSE(outcome.failure) << outcome.failure->description;
    } else {
        ASSERT_TRUE(outcome.failure);
        EXPECT_THAT(outcome.failure->description, HasSubstr(GetParam().failure));
    }
}

INSTANTIATE_TEST_SUITE_P(Server, StreamedAnswers, ::testing::ValuesIn(streamCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct AvailabilityCase {
    const char* name;
    int status;
    std::string models;
    std::map<std::string, std::string> environment;
    std::string description;  // its beginning
};

class Availability : public ::testing::TestWithParam<AvailabilityCase> {};

TEST_P(Availability, SaysWhatIsWrongAndAsksOnceForAMoment) {
    const AvailabilityCase& c = GetParam();
    ScriptedServer server({{"/v1/models", LoopbackServer::replying(c.status, c.models)}});
    ServerLanguageModel model(server.settings(c.environment));
    const std::string url = server.url();
    ModelAvailability first = model.availability();
    EXPECT_EQ(first.isAvailable, c.description == "available");
    std::string expected = c.description;
    if (std::size_t at = expected.find("URL"); at != std::string::npos)
        expected.replace(at, 3, url);
    EXPECT_EQ(first.description, expected);
    EXPECT_EQ(model.availability().description, first.description);
    EXPECT_FALSE(model.supportsImageAttachments());  // a server that says nothing of images
    auto received = server.server.received();
    EXPECT_EQ(std::count_if(received.begin(), received.end(),
                            [](const auto& r) { return r.path == "/v1/models"; }),
              1);
}

INSTANTIATE_TEST_SUITE_P(
    Server, Availability,
    ::testing::Values(
        AvailabilityCase{"FirstModelServed", 200, tinyList, {}, "available"},
        AvailabilityCase{"NamedModelsServed",
                         200,
                         tinyList,
                         {{"LUMORA_MODEL", "big"}, {"LUMORA_MODEL_GENERAL", "tiny"}},
                         "available"},
        AvailabilityCase{"NeedsAKey",
                         401,
                         R"({"error":{"message":"Invalid API Key"}})",
                         {},
                         "unavailable(serverRefused): the model server at URL requires a key in "
                         "LUMORA_MODEL_API_KEY"},
        AvailabilityCase{"NamedModelMissing",
                         200,
                         tinyList,
                         {{"LUMORA_MODEL_GENERAL", "huge"}},
                         "unavailable(modelNotServed): the model server at URL does not serve "
                         "\"huge\"; it serves \"tiny\", \"big\""},
        AvailabilityCase{"NoModels",
                         200,
                         R"({"data":[]})",
                         {},
                         "unavailable(modelNotServed): the model server at URL serves no model"},
        AvailabilityCase{"NotAModelList",
                         200,
                         "<html>hello</html>",
                         {},
                         "unavailable(serverRefused): the model server at URL answered HTTP 200: "
                         "<html>hello</html>"}),
    [](const auto& info) { return std::string(info.param.name); });

// A URL elsewhere is refused for what it names, before anything is sent.
TEST(ModelServerAvailability, AServerElsewhereIsNeverAsked) {
    ServerLanguageModel elsewhere(
        modelServerSettings([](const char* name) -> std::optional<std::string> {
            if (std::string_view(name) == "LUMORA_MODEL_SERVER_URL") return "http://192.0.2.7:8080";
            return std::nullopt;
        }));
    EXPECT_THAT(elsewhere.availability().description,
                HasSubstr("unavailable(serverNotAllowed): LUMORA_MODEL_SERVER_URL names "
                          "192.0.2.7, but"));
    EXPECT_FALSE(elsewhere.supportsImageAttachments());
}

TEST(ModelServerAddresses, OnlyHttpOnThisComputer) {
    struct Row {
        const char* url;
        std::optional<ModelServerAddress> address;
    };
    const Row rows[] = {
        {"http://127.0.0.1:8080", ModelServerAddress{"http://127.0.0.1:8080", "/v1"}},
        {"HTTP://LocalHost:1234/v1/", ModelServerAddress{"http://LocalHost:1234", "/v1"}},
        {"http://127.3.2.1/api/openai", ModelServerAddress{"http://127.3.2.1", "/api/openai"}},
        {"http://[::1]:11434", ModelServerAddress{"http://[::1]:11434", "/v1"}},
        {"https://127.0.0.1:8080", std::nullopt},
        {"http://10.0.0.1:8080", std::nullopt},
        {"http://127.0.0.1.example.com", std::nullopt},
        {"http://user@127.0.0.1", std::nullopt},
        {"http://[::ffff:127.0.0.1]", std::nullopt},
        {"http://127.0.0.1:99999", std::nullopt},
        {"http://127.0.0.1/v1?key=1", std::nullopt},
    };
    ModelServerSettings guessed =
        modelServerSettings([](const char*) -> std::optional<std::string> { return std::nullopt; });
    EXPECT_EQ(guessed.candidates,
              (std::vector<ModelServerAddress>{{"http://127.0.0.1:8080", "/v1"},
                                               {"http://127.0.0.1:11434", "/v1"}}));
    EXPECT_FALSE(guessed.named);
    for (const Row& row : rows) {
        ParsedServerAddress parsed = parseModelServerAddress(row.url);
        EXPECT_EQ(parsed.address, row.address) << row.url;
        EXPECT_EQ(parsed.refusal.empty(), row.address.has_value()) << row.url;
    }
}

TEST_F(ServerLanguageModelTest, AsksGreedilyWithTheImageBeforeTheText) {
    ScriptedServer server(
        {{"/props", LoopbackServer::replying(200, R"({"modalities":{"vision":true}})")},
         {"/v1/chat/completions", streaming({delta("0|Seen"), done})}});
    ServerLanguageModel model(server.settings({{"LUMORA_MODEL", "tiny"},
                                               {"LUMORA_MODEL_GENERAL", "big"},
                                               {"LUMORA_MODEL_API_KEY", "s3cret"}}));
    EXPECT_TRUE(model.supportsImageAttachments());
    Image pixel{1, 1, {255, 0, 0, 255}};
    ModelClient client(model, pool);
    std::string answer;
    auto ask = [&]() -> Task<void> {
        auto session = client.session(ModelConfiguration::generalPermissive, "Be brief.");
        ModelPrompt prompt{pixel, "What is this?"};
        answer = co_await client.respond(session, std::move(prompt));
    };
    test_support::runToCompletion(loop, ask());
    EXPECT_EQ(answer, "0|Seen");

    auto received = server.server.received();
    auto chat = std::find_if(received.begin(), received.end(),
                             [](const auto& r) { return r.path == "/v1/chat/completions"; });
    ASSERT_NE(chat, received.end());
    const auto& request = *chat;
    EXPECT_EQ(request.authorization, "Bearer s3cret");
    json::Document body = json::Document::parse(request.body);
    EXPECT_EQ(body["model"], "big");
    EXPECT_EQ(body["stream"], true);
    EXPECT_EQ(body["temperature"], 0);
    EXPECT_EQ(body["top_k"], 1);
    EXPECT_EQ(body["cache_prompt"], false);
    EXPECT_TRUE(body["seed"].is_number_integer());
    EXPECT_FALSE(body.contains("max_tokens"));
    EXPECT_EQ(body["messages"][0], (json::Document{{"role", "system"}, {"content", "Be brief."}}));
    const json::Document& content = body["messages"][1]["content"];
    EXPECT_EQ(body["messages"][1]["role"], "user");
    EXPECT_THAT(content[0]["image_url"]["url"].get<std::string>(),
                ::testing::StartsWith("data:image/png;base64,iVBORw0KGgo"));
    EXPECT_EQ(content[1], (json::Document{{"type", "text"}, {"text", "What is this?"}}));
}

TEST_F(ServerLanguageModelTest, ALeavingConsumerClosesTheConnection) {
    std::atomic<bool> closed = false;
    ScriptedServer server(
        {{"/v1/chat/completions", [&](const httplib::Request&, httplib::Response& response) {
              response.set_chunked_content_provider(
                  "text/event-stream", [&](std::size_t offset, httplib::DataSink& sink) {
                      if (offset == 0) {
                          const std::string first = delta("0|Wait");
                          sink.write(first.data(), first.size());
                          return true;
                      }
                      // A model that has gone quiet: nothing more until the client leaves.
                      while (sink.is_writable())
                          std::this_thread::sleep_for(std::chrono::milliseconds(5));
                      closed = true;
                      return false;
                  });
          }}});
    ServerLanguageModel model(server.settings());
    EXPECT_EQ(stream(model, {std::nullopt, "Hi"}, 1).snapshots, std::vector<std::string>{"0|Wait"});
    EXPECT_TRUE(test_support::eventually([&] { return closed.load(); }));
}

}  // namespace
}  // namespace lumora::platform
