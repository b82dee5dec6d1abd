#include <gtest/gtest.h>

#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/sim/sim_fixture.h"

namespace lumora::sim {
namespace {

using platform::ModelConfiguration;
using platform::ModelPrompt;

constexpr std::string_view scenario = R"({
  "languageModel": {
    "supportsImages": true,
    "replies": [
      {"instructionsMatch": "Classify", "text": "selection"},
      {"match": "poem", "configuration": "generalPermissive", "text": "0|Roses 🌹 bloom", "chunkSize": 3},
      {"match": "poem", "text": "0|A standard poem"},
      {"match": "fail", "error": {"domain": "FoundationModels.GenerationError", "code": 2,
                                  "description": "The model ran out of context."}},
      {"match": "partial", "text": "0|Half", "chunkSize": 2,
       "error": {"domain": "Model", "code": 9, "description": "Stopped early."}}
    ],
    "defaultReply": {"text": "0|Default"}
  }
})";

class LanguageModelTest : public testing::Test {
  protected:
    std::shared_ptr<ModelOutcome> call(ModelConfiguration configuration,
                                       const std::string& instructions, const std::string& prompt,
                                       bool streamed) {
        sessions.push_back(desktop->languageModel().makeSession(configuration, instructions));
        return callModel(loop, *sessions.back(), prompt, streamed);
    }
    std::string respond(ModelConfiguration configuration, const std::string& instructions,
                        const std::string& prompt) {
        return call(configuration, instructions, prompt, false)->answer.value_or("<none>");
    }
    std::vector<std::string> stream(const std::string& prompt) {
        return call(ModelConfiguration::generalPermissive, "Help.", prompt, true)->snapshots;
    }

    ManualClock clock;
    EventLoop loop{clock};
    std::unique_ptr<SimDesktop> desktop = desktopFrom(scenario);
    std::vector<std::unique_ptr<platform::LanguageModelSession>> sessions;
};

TEST_F(LanguageModelTest, AnswersWithTheFirstReplyWhoseConditionsHold) {
    struct Case {
        ModelConfiguration configuration;
        std::string instructions;
        std::string prompt;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {ModelConfiguration::standard, "Classify the quoted request", "a poem", "selection"},
        {ModelConfiguration::generalPermissive, "Write.", "a poem please", "0|Roses 🌹 bloom"},
        {ModelConfiguration::standard, "Write.", "a poem please", "0|A standard poem"},
        {ModelConfiguration::standard, "Write.", "a Poem please", "0|Default"},
        {ModelConfiguration::generalPermissive, "Write.", "", "0|Default"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(respond(c.configuration, c.instructions, c.prompt), c.reply) << c.prompt;
    }
}

TEST_F(LanguageModelTest, StreamsCumulativeSnapshotsGrowingByWholeCharacters) {
    EXPECT_EQ(stream("poem"), (std::vector<std::string>{"0|R", "0|Rose", "0|Roses 🌹",
                                                        "0|Roses 🌹 bl", "0|Roses 🌹 bloom"}));
    EXPECT_EQ(stream("anything"), (std::vector<std::string>{"0|Defaul", "0|Default"}));
}

TEST_F(LanguageModelTest, ScriptedErrorsReachTheCallerWithTheirDomainCodeAndDescription) {
    EXPECT_EQ(call(ModelConfiguration::standard, "", "please fail", false)->failure,
              "FoundationModels.GenerationError 2 The model ran out of context.");
    auto partial = call(ModelConfiguration::standard, "", "partial", true);
    EXPECT_EQ(partial->failure, "Model 9 Stopped early.");
    EXPECT_EQ(partial->snapshots, (std::vector<std::string>{"0|", "0|Ha", "0|Half"}));
}

// A model that goes quiet holds no thread: the call returns unanswered, with what it said so
// far, and its reader can still be stopped.
TEST_F(LanguageModelTest, AQuietCallReturnsUnansweredWithoutHoldingTheThread) {
    desktop = desktopFrom(R"json({"languageModel": {"replies": [
        {"match": "answer", "text": "never", "stallsAfter": 0},
        {"match": "stream", "text": "0|Half", "chunkSize": 2, "stallsAfter": 3}]}})json");
    for (bool streamed : {false, true}) {
        auto quiet =
            call(ModelConfiguration::standard, "", streamed ? "stream" : "answer", streamed);
        EXPECT_FALSE(quiet->ended);
        const std::vector<std::string> shown = {"0|", "0|Ha"};
        EXPECT_EQ(quiet->snapshots, streamed ? shown : std::vector<std::string>());
        quiet->reader.cancel();
        loop.advance(0);
        EXPECT_TRUE(quiet->ended);
        EXPECT_EQ(quiet->failure, "Cancelled");
    }
}

TEST_F(LanguageModelTest, AStopRequestedBeforeTheCallEndsItBeforeTheFirstSnapshot) {
    auto session = desktop->languageModel().makeSession(ModelConfiguration::generalPermissive, "");
    auto stream = std::make_unique<AsyncStream<std::string>>();
    AsyncStream<std::string>::Producer output = stream->producer();
    stream.reset();
    EXPECT_THROW(session->streamResponse(ModelPrompt{std::nullopt, "poem"}, output), Cancelled);
}

TEST_F(LanguageModelTest, RecordsEveryCall) {
    respond(ModelConfiguration::standard, "Classify", "poem?");
    auto session =
        desktop->languageModel().makeSession(ModelConfiguration::generalPermissive, "Write.");
    platform::Image image{1, 1, {0, 0, 0, 255}};
    callModel(loop, *session, "describe", true, image);
    EXPECT_EQ(desktop->modelCalls(),
              (std::vector<ModelCall>{
                  {ModelConfiguration::standard, "Classify", "poem?", false, false},
                  {ModelConfiguration::generalPermissive, "Write.", "describe", true, true}}));
}

TEST(LanguageModelPacing, AStopEndsTheWaitForTheNextSnapshot) {
    // An hour between snapshots: only the stop can end this call before the test times out.
    auto desktop = desktopFrom(
        R"json({"languageModel": {"defaultReply": {"text": "0|Slow", "chunkInterval": 3600}}})json");
    auto session = desktop->languageModel().makeSession(ModelConfiguration::standard, "");
    auto stream = std::make_unique<AsyncStream<std::string>>();
    AsyncStream<std::string>::Producer output = stream->producer();
    // The reader going away is what stops a streamed call.
    std::thread stopper([&] { stream.reset(); });
    EXPECT_THROW(session->streamResponse(ModelPrompt{std::nullopt, "hi"}, output), Cancelled);
    stopper.join();

    EXPECT_THROW(
        SimDesktop::load(R"json({"languageModel": {"defaultReply": {"chunkInterval": -1}}})json"),
        Error);
}

TEST(LanguageModelAvailability, ComesFromTheScenario) {
    auto available = desktopFrom("{}");
    EXPECT_TRUE(available->languageModel().availability().isAvailable);
    EXPECT_EQ(available->languageModel().availability().description, "available");
    EXPECT_FALSE(available->languageModel().supportsImageAttachments());
    ManualClock clock;
    EventLoop loop(clock);
    auto session = available->languageModel().makeSession(ModelConfiguration::standard, "");
    EXPECT_EQ(callModel(loop, *session, "hi", false)->answer, "OK");

    auto unavailable = desktopFrom(R"json({"languageModel": {
        "available": false, "availability": "unavailable(.deviceNotEligible)"}})json");
    EXPECT_FALSE(unavailable->languageModel().availability().isAvailable);
    EXPECT_EQ(unavailable->languageModel().availability().description,
              "unavailable(.deviceNotEligible)");
}

}  // namespace
}  // namespace lumora::sim
