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
    std::unique_ptr<SimDesktop> desktop = desktopFrom(scenario);

    std::string respond(ModelConfiguration configuration, const std::string& instructions,
                        const std::string& prompt) {
        auto session = desktop->languageModel().makeSession(configuration, instructions);
        return session->respond(ModelPrompt{std::nullopt, prompt}, {});
    }
    std::vector<std::string> stream(const std::string& prompt) {
        auto session =
            desktop->languageModel().makeSession(ModelConfiguration::generalPermissive, "Help.");
        std::vector<std::string> snapshots;
        session->streamResponse(ModelPrompt{std::nullopt, prompt},
                                [&](const std::string& snapshot) { snapshots.push_back(snapshot); },
                                {});
        return snapshots;
    }
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
    try {
        respond(ModelConfiguration::standard, "", "please fail");
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain, "FoundationModels.GenerationError");
        EXPECT_EQ(error.code, 2);
        EXPECT_EQ(error.description, "The model ran out of context.");
    }
    std::vector<std::string> snapshots;
    auto session = desktop->languageModel().makeSession(ModelConfiguration::standard, "");
    try {
        session->streamResponse(ModelPrompt{std::nullopt, "partial"},
                                [&](const std::string& snapshot) { snapshots.push_back(snapshot); },
                                {});
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.description, "Stopped early.");
    }
    EXPECT_EQ(snapshots, (std::vector<std::string>{"0|", "0|Ha", "0|Half"}));
}

TEST_F(LanguageModelTest, AStopRequestCancelsBeforeTheFirstOrBetweenSnapshots) {
    auto session = desktop->languageModel().makeSession(ModelConfiguration::generalPermissive, "");
    std::stop_source stop;
    std::vector<std::string> snapshots;
    auto record = [&](const std::string& snapshot) {
        snapshots.push_back(snapshot);
        if (snapshots.size() == 2) stop.request_stop();
    };
    EXPECT_THROW(
        session->streamResponse(ModelPrompt{std::nullopt, "poem"}, record, stop.get_token()),
        Cancelled);
    EXPECT_EQ(snapshots, (std::vector<std::string>{"0|R", "0|Rose"}));

    snapshots.clear();
    EXPECT_THROW(
        session->streamResponse(ModelPrompt{std::nullopt, "poem"}, record, stop.get_token()),
        Cancelled);
    EXPECT_TRUE(snapshots.empty());
    EXPECT_THROW(session->respond(ModelPrompt{std::nullopt, "poem"}, stop.get_token()), Cancelled);
}

TEST_F(LanguageModelTest, RecordsEveryCall) {
    respond(ModelConfiguration::standard, "Classify", "poem?");
    auto session =
        desktop->languageModel().makeSession(ModelConfiguration::generalPermissive, "Write.");
    platform::Image image{1, 1, {0, 0, 0, 255}};
    session->streamResponse(ModelPrompt{image, "describe"}, [](const std::string&) {}, {});
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
    std::stop_source stop;
    std::thread stopper([&] { stop.request_stop(); });
    std::vector<std::string> snapshots;
    EXPECT_THROW(
        session->streamResponse(
            ModelPrompt{std::nullopt, "hi"},
            [&](const std::string& snapshot) { snapshots.push_back(snapshot); }, stop.get_token()),
        Cancelled);
    stopper.join();
    EXPECT_TRUE(snapshots.empty());

    EXPECT_THROW(
        SimDesktop::load(R"json({"languageModel": {"defaultReply": {"chunkInterval": -1}}})json"),
        Error);
}

TEST(LanguageModelAvailability, ComesFromTheScenario) {
    auto available = desktopFrom("{}");
    EXPECT_TRUE(available->languageModel().availability().isAvailable);
    EXPECT_EQ(available->languageModel().availability().description, "available");
    EXPECT_FALSE(available->languageModel().supportsImageAttachments());
    EXPECT_EQ(available->languageModel()
                  .makeSession(ModelConfiguration::standard, "")
                  ->respond(ModelPrompt{std::nullopt, "hi"}, {}),
              "OK");

    auto unavailable = desktopFrom(R"json({"languageModel": {
        "available": false, "availability": "unavailable(.deviceNotEligible)"}})json");
    EXPECT_FALSE(unavailable->languageModel().availability().isAvailable);
    EXPECT_EQ(unavailable->languageModel().availability().description,
              "unavailable(.deviceNotEligible)");
}

}  // namespace
}  // namespace lumora::sim
