// The helper's local requests answered by a real llama.cpp server, through pipes, on the real
// desktop: the test plays the Lumora app and the user, and reads the server directly to know
// what it answers.
#include <gtest/gtest.h>
#include <httplib.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/e2e/desktop_dialogue.h"
#include "tests/support/llama_server.h"

namespace lumora {
namespace {

using nlohmann::json;
using test_support::LlamaServer;
using test_support::TestDesktop;
using testing::commandLine;
using testing::environmentOn;
using testing::eventsOf;

const std::string cannotComplete = "Assistant could not complete this request: ";

std::string temporaryFolder() {
    char pattern[] = "/tmp/lumora-model-e2e-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary folder");
    return pattern;
}

std::vector<json> auditRecords(const std::string& folder) {
    std::vector<json> records;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".json") continue;
        std::ifstream file(entry.path());
        records.push_back(json::parse(file));
    }
    return records;
}

// The server's whole answer to the request the helper recorded, asked directly.
std::string askedDirectly(const LlamaServer& server, const json& record) {
    const json body = {{"model", LlamaServer::modelName},
                       {"messages",
                        {{{"role", "system"}, {"content", record["systemInstructions"]}},
                         {{"role", "user"}, {"content", record["userPrompt"]}}}},
                       {"temperature", 0},
                       {"top_k", 1},
                       {"seed", 7},
                       {"cache_prompt", false}};
    httplib::Client client("127.0.0.1", server.port());
    auto reply = client.Post("/v1/chat/completions", body.dump(), "application/json");
    if (!reply || reply->status != 200) return "(no answer)";
    return json::parse(reply->body)["choices"][0]["message"]["content"];
}

// A typed request on a selected word: the classifier and then the streamed answer both come
// from the server, and the answer lands in the editor; the next answer is cut off by the
// server's death, which the user reads as a sentence while the typed part stays, and the helper
// goes on answering with the server gone.
TEST(RealDesktopModelServerTest, AnswersFromTheServerAndItsDeathIsASentence) {
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor editor = desktop.openEditor("Team update: the beta ships on Friday");
    desktop.pressKeys(editor, {"ctrl+End", "ctrl+shift+Left"});
    // An answer without end, long enough to be caught mid-way.
    LlamaServer server({.loading = false, .extra = {"--ctx-size", "32768"}});
    const std::string audit = temporaryFolder();
    std::map<std::string, std::string> environment = environmentOn(desktop);
    environment["LUMORA_MODEL_SERVER_URL"] = server.url();
    environment["LUMORA_AUDIT_DIR"] = audit;
    std::string answered, cutOff;

    auto result = testing::runDialogue(
        testing::builtProgram("assistant/lumora-assistant"),
        commandLine({{"command", "status"}, {"id", 1}}) +
            commandLine({{"command", "open"}, {"id", 2}}),
        {{"\"canInsert\":true",
          commandLine({{"command", "ask"}, {"id", 2}, {"text", "Reply to this!"}})},
         {"\"message\":\"Text inserted\"",
          commandLine({{"command", "open"}, {"id", 3}}) +
              commandLine({{"command", "ask"}, {"id", 3}, {"text", "Keep going~"}}),
          1, [&] { answered = desktop.savedText(editor); }},
         {" word3", "", 1, [&] { server.kill(); }},
         {cannotComplete, commandLine({{"command", "status"}, {"id", 4}}), 1,
          [&] { cutOff = desktop.savedText(editor); }},
         {"\"phase\":\"availability\"", "", 2}},
        environment);
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    std::vector<json> availability = eventsOf(result, "availability");
    ASSERT_EQ(availability.size(), 2u) << result.out;
    EXPECT_EQ(availability[0]["model"], "available");
    EXPECT_EQ(availability[1]["model"],
              "unavailable(serverNotRunning): no model server answers at " + server.url() +
                  "; start one, or name it in LUMORA_MODEL_SERVER_URL");

    const std::string answer = "Thanks for the note, see you on Monday.";
    EXPECT_EQ(answered, "Team update: the beta ships on " + answer);
    std::vector<json> errors = eventsOf(result, "error");
    ASSERT_EQ(errors.size(), 1u) << result.out;
    EXPECT_EQ(errors[0]["message"],
              cannotComplete + "The model server stopped before finishing its answer.");
    EXPECT_EQ(cutOff.rfind(answered + " word1 word2 word3", 0), 0u) << cutOff;

    std::vector<json> records = auditRecords(audit);
    auto first = std::find_if(records.begin(), records.end(),
                              [](const json& r) { return r["request"] == "Reply to this!"; });
    ASSERT_NE(first, records.end()) << result.out;
    EXPECT_EQ((*first)["contextSource"], "selection");
    EXPECT_EQ((*first)["rawOutput"], "0|" + answer);
    EXPECT_EQ((*first)["output"], answer);
    // The same request read directly from the same model, served afresh.
    LlamaServer again({});
    EXPECT_EQ(askedDirectly(again, *first), (*first)["rawOutput"]);
    std::filesystem::remove_all(audit);
}

struct Unanswerable {
    const char* name;
    bool loading;
    const char* model;    // what LUMORA_MODEL names, if anything
    std::string problem;  // with URL for the server's address
};

class RealDesktopModelServerStates : public ::testing::TestWithParam<Unanswerable> {};

// A server that cannot answer yet, or not with the model named: the settings and a request
// both say what is wrong, and the helper keeps answering.
TEST_P(RealDesktopModelServerStates, SayWhatIsWrong) {
    const Unanswerable& row = GetParam();
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor editor = desktop.openEditor("Draft");
    LlamaServer server({.loading = row.loading, .extra = {}});
    std::map<std::string, std::string> environment = environmentOn(desktop);
    environment["LUMORA_MODEL_SERVER_URL"] = server.url();
    if (row.model != nullptr) environment["LUMORA_MODEL"] = row.model;
    std::string problem = row.problem;
    problem.replace(problem.find("URL"), 3, server.url());

    auto result = testing::runDialogue(
        testing::builtProgram("assistant/lumora-assistant"),
        commandLine({{"command", "status"}, {"id", 1}}) +
            commandLine({{"command", "open"}, {"id", 2}}) +
            commandLine({{"command", "ask"}, {"id", 2}, {"text", "Reply to this!"}}),
        {{"\"phase\":\"error\"", commandLine({{"command", "open"}, {"id", 3}})}, {"\"id\":3", ""}},
        environment);
    desktop.closeEditor(editor);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    std::vector<json> availability = eventsOf(result, "availability");
    ASSERT_EQ(availability.size(), 1u) << result.out;
    EXPECT_EQ(availability[0]["model"], problem);
    std::vector<json> errors = eventsOf(result, "error");
    ASSERT_EQ(errors.size(), 1u) << result.out;
    EXPECT_EQ(errors[0]["message"], "Apple Intelligence is unavailable: " + problem);
}

INSTANTIATE_TEST_SUITE_P(
    Server, RealDesktopModelServerStates,
    ::testing::Values(
        Unanswerable{"StillLoading", true, nullptr,
                     "unavailable(modelNotReady): the model server at URL is still loading its "
                     "model"},
        Unanswerable{"ModelNotServed", false, "absent",
                     "unavailable(modelNotServed): the model server at URL does not serve "
                     "\"absent\"; it serves \"scripted-test-model\""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumora
