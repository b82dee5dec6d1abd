#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "runtime/atomic_file.h"
#include "runtime/base64.h"
#include "tests/e2e/child_process.h"
#include "tests/support/notes_world.h"

namespace lumora {
namespace {

using nlohmann::json;
using testing::ProcessResult;

const json invalidLine = {{"id", 0}, {"phase", "error"}, {"message", "Invalid native request."}};

// A scratch directory with a scenario and a state file, removed afterwards.
class AssistantProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumora-e2e-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + directory).c_str()); }

    ProcessResult run(const std::string& input, const json& scenario = nullptr) {
        return exitedCleanly(testing::runProcess(
            testing::builtProgram("assistant/lumora-assistant"), input, environment(scenario)));
    }

    // The test plays the app, answering the helper as `exchanges` say.
    ProcessResult talk(const std::string& input, const std::vector<testing::Exchange>& exchanges,
                       const json& scenario) {
        return exitedCleanly(
            testing::runDialogue(testing::builtProgram("assistant/lumora-assistant"), input,
                                 exchanges, environment(scenario)));
    }

    // Every run of the helper must end with status 0; a sanitizer's report in it ends it with
    // another, so this is also how such a report fails the test.
    static ProcessResult exitedCleanly(ProcessResult result) {
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        return result;
    }

    std::map<std::string, std::string> environment(const json& scenario) {
        std::map<std::string, std::string> environment{
            {"LUMORA_SIM_STATE_OUT", directory + "/state.json"}};
        if (!scenario.is_null()) {
            std::string path = directory + "/scenario.json";
            EXPECT_TRUE(files::replaceAtomically(path, scenario.dump(), 0600));
            environment["LUMORA_SIM_SCENARIO"] = path;
        }
        return environment;
    }

    std::vector<json> events(const ProcessResult& result) {
        std::vector<json> parsed;
        for (const auto& line : result.lines()) parsed.push_back(json::parse(line));
        return parsed;
    }

    std::vector<std::string> phases(const ProcessResult& result) {
        std::vector<std::string> seen;
        for (const json& event : events(result)) seen.push_back(event["phase"]);
        return seen;
    }

    json state() { return json::parse(*files::readAll(directory + "/state.json")); }

    std::string directory;
};

std::string line(const json& command) {
    return command.dump() + "\n";
}

std::string commandOfSize(std::size_t bytes) {
    std::string head = R"({"command":"nothing","id":1,"text":")";
    std::string tail = R"("})";
    return head + std::string(bytes - head.size() - tail.size(), 'a') + tail;
}

TEST_F(AssistantProcessTest, EndOfInputWithoutCommandsExitsQuietly) {
    auto result = run("");
    EXPECT_EQ(result.out, "");
}

TEST_F(AssistantProcessTest, InvalidLinesAndUnknownCommandsGetTheirErrors) {
    auto result = run("\n[1,2]\n{\"command\":\"status\"}\n" + commandOfSize(99'999) + "\n" +
                      commandOfSize(100'000) + "\n{\"command\":\"dance\",\"id\":7}\n");
    json unknown1 = {{"id", 1}, {"phase", "error"}, {"message", "Unknown assistant command."}};
    json unknown7 = {{"id", 7}, {"phase", "error"}, {"message", "Unknown assistant command."}};
    // Invalid lines are answered by the reader thread and commands by the main thread, so only
    // the order within each of them is fixed.
    std::vector<json> invalid, handled;
    for (const auto& event : events(result))
        (event == invalidLine ? invalid : handled).push_back(event);
    EXPECT_EQ(invalid.size(), 4u);
    EXPECT_EQ(handled, (std::vector<json>{unknown1, unknown7}));
}

TEST_F(AssistantProcessTest, AHugeLineIsRefusedOnceAndReadingContinues) {
    std::string huge(64 * 1024 * 1024, 'x');
    auto result = run(huge + "\n{\"command\":\"cancel\",\"id\":3}\n");
    auto lines = events(result);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], invalidLine);
    EXPECT_EQ(lines[1]["phase"], "idle");
    EXPECT_EQ(lines[1]["id"], 3);
}

TEST_F(AssistantProcessTest, StatusOnMacOS15) {
    json scenario = {{"system", {{"osVersion", "15.4"}}},
                     {"speech", {{"locales", {"fr_FR", "en_US"}}}},
                     {"permissions", {{"microphone", 2}, {"screenCapture", false}}}};
    auto result = run("{\"command\":\"status\",\"id\":12}\n", scenario);
    json expected = {
        {"id", 0},
        {"phase", "availability"},
        {"model", "Requires macOS 26 or later and Apple Intelligence."},
        {"microphone", 2},
        {"recognition", 3},
        {"accessibility", true},
        {"screen", false},
        {"imageInput", false},
        {"cloudScreenInput", true},
        {"speechLanguages",
         {{{"code", "en-US"}, {"name", "English (United States)"}},
          {{"code", "fr-FR"}, {"name", "French (France)"}}}},
        {"speechRecognizer", "simulated"},
    };
    EXPECT_EQ(events(result), (std::vector<json>{expected}));
}

TEST_F(AssistantProcessTest, SettingsCommandsOpenThePrivacyPanesSilently) {
    auto result =
        run("{\"command\":\"settings_microphone\",\"id\":1}\n{\"command\":\"settings_speech\","
            "\"id\":2}\n"
            "{\"command\":\"settings_screen\",\"id\":3}\n");
    EXPECT_EQ(result.out, "");
    std::string prefix = "x-apple.systempreferences:com.apple.preference.security?";
    EXPECT_EQ(state()["openedURLs"],
              json({prefix + "Privacy_Microphone", prefix + "Privacy_SpeechRecognition",
                    prefix + "Privacy_ScreenCapture"}));
}

TEST_F(AssistantProcessTest, CancelCopyAndEmptyAsk) {
    auto result =
        run("{\"command\":\"cancel\",\"id\":4}\n{\"command\":\"copy\",\"id\":4}\n"
            "{\"command\":\"ask\",\"id\":5,\"text\":\" \\n\\t \"}\n");
    auto lines = events(result);
    ASSERT_EQ(lines.size(), 2u);
    json idle = {{"id", 4},          {"phase", "idle"},     {"message", ""},
                 {"text", ""},       {"action", "preview"}, {"canInsert", false},
                 {"canUndo", false}, {"mode", "assistant"}, {"source", ""},
                 {"context", ""}};
    EXPECT_EQ(lines[0], idle);
    EXPECT_EQ(lines[1]["id"], 5);
    EXPECT_EQ(lines[1]["phase"], "error");
    EXPECT_EQ(lines[1]["message"], "Enter a request first.");
    EXPECT_EQ(state()["pasteboard"]["changeCount"], 0);
}

TEST_F(AssistantProcessTest, ATypedAskIsAnsweredIntoTheFocusedNoteWithAnAuditRecord) {
    const std::string audit = directory + "/audit";
    auto result = exitedCleanly(testing::runProcessUntil(
        testing::builtProgram("assistant/lumora-assistant"),
        "{\"command\":\"open\",\"id\":7}\n"
        "{\"command\":\"ask\",\"id\":7,\"text\":\"Write a short thank-you note\"}\n",
        "\"message\":\"Text inserted\"",
        {{"LUMORA_SIM_STATE_OUT", directory + "/state.json"}, {"LUMORA_AUDIT_DIR", audit}}));
    std::vector<std::string> seen = phases(result);
    std::vector<std::string> expected = {"result", "capturing_screen", "processing"};
    expected.insert(expected.end(), seen.size() - 4, "streaming");
    expected.push_back("result");
    EXPECT_EQ(seen, expected) << result.out;

    const std::string answer = "Thank you for all the work on the beta. Friday is ours!";
    EXPECT_EQ(state()["fields"][0]["value"], "Team update: the beta ships on Friday. " + answer);
    std::vector<std::filesystem::path> records;
    for (const auto& entry : std::filesystem::directory_iterator(audit)) {
        if (entry.path().extension() == ".json") records.push_back(entry.path());
    }
    ASSERT_EQ(records.size(), 1u);
    json record = json::parse(*files::readAll(records[0].string()));
    EXPECT_EQ(record["status"], "result");
    EXPECT_EQ(record["output"], answer);
    EXPECT_EQ(record["rawOutput"], "0|" + answer);
    EXPECT_EQ(record["contextSource"], "none");
}

// The test plays the app: it answers the helper's "generation_input" with the cloud model's
// answer in pieces, and the answer lands in the note.
TEST_F(AssistantProcessTest, ACloudAskIsAnsweredIntoTheNoteByTheApp) {
    const std::string answer = "Thanks, team. Friday it is!";
    auto result = exitedCleanly(testing::runDialogue(
        testing::builtProgram("assistant/lumora-assistant"),
        line({{"command", "open"}, {"id", 9}}) +
            line(
                {{"command", "ask"}, {"id", 9}, {"text", "Thank the team"}, {"provider", "cloud"}}),
        {{"\"phase\":\"generation_input\"",
          line(
              {{"command", "hosted_snapshot"}, {"id", 9}, {"action", "text"}, {"text", "Thanks"}}) +
              line({{"command", "hosted_snapshot"},
                    {"id", 9},
                    {"action", "text"},
                    {"text", "Thanks, team."}}) +
              line({{"command", "hosted_complete"},
                    {"id", 9},
                    {"action", "text"},
                    {"text", answer}})},
         {"\"message\":\"Text inserted\"", ""}},
        {{"LUMORA_SIM_STATE_OUT", directory + "/state.json"}}));
    std::vector<std::string> phases;
    json input;
    for (const json& event : events(result)) {
        phases.push_back(event["phase"]);
        if (event["phase"] == "generation_input") input = event;
    }
    EXPECT_EQ(phases,
              (std::vector<std::string>{"result", "capturing_screen", "processing",
                                        "generation_input", "streaming", "streaming", "result"}))
        << result.out;
    EXPECT_EQ(input["request"], "Thank the team");
    EXPECT_EQ(input["source"]["app"], "Notes");
    EXPECT_FALSE(input.contains("auditId"));
    EXPECT_EQ(state()["fields"][0]["value"], "Team update: the beta ships on Friday. " + answer);
    EXPECT_TRUE(state()["modelCalls"].empty());
}

// The user's keyboard as a scenario timeline, in real time: a held Fn is reported to the app,
// and a tapped Escape, held back while it might have started a hold, reaches Notes marked.
TEST_F(AssistantProcessTest, HoldKeysFromTheUsersKeyboardAreReported) {
    auto key = [](double at, const char* type, int code, std::uint64_t flags = 0) {
        return json{{"at", at}, {"type", type}, {"keyCode", code}, {"flags", flags}};
    };
    json scenario = {
        {"parentPid", 100},
        {"frontmost", 200},
        {"apps", {{{"pid", 100}, {"name", "Lumora"}}, {{"pid", 200}, {"name", "Notes"}}}},
        {"keyboard",
         {{"input",
           {key(0.4, "keyDown", 53), key(0.5, "keyUp", 53), key(0.7, "flagsChanged", 63, 0x800000),
            key(1.5, "flagsChanged", 63)}}}}};
    std::string path = directory + "/scenario.json";
    ASSERT_TRUE(files::replaceAtomically(path, scenario.dump(), 0600));
    json configure = {{"command", "hold_configure"},
                      {"id", 1},
                      {"holdBindings", {{"assistant", "Hold:Fn"}, {"dictation", "Hold:Escape"}}}};
    auto result = exitedCleanly(testing::runProcessUntil(
        testing::builtProgram("assistant/lumora-assistant"), configure.dump() + "\n",
        "\"phase\":\"hold_released\"",
        {{"LUMORA_SIM_SCENARIO", path}, {"LUMORA_SIM_STATE_OUT", directory + "/state.json"}}));
    // The timeline is played in order, so the Escape tap is in before the Fn release.
    EXPECT_EQ(events(result),
              (std::vector<json>{
                  {{"phase", "hold_status"}, {"message", ""}},
                  {{"phase", "hold_pressed"}, {"mode", "assistant"}, {"key", "Hold:Fn"}},
                  {{"phase", "hold_released"}, {"mode", "assistant"}, {"key", "Hold:Fn"}}}));
    const std::int64_t marker = 0x4C554D4F4B455953;
    EXPECT_EQ(state()["postedKeyEvents"],
              json({{{"type", "keyDown"}, {"keyCode", 53}, {"flags", 0}, {"userData", marker}},
                    {{"type", "keyUp"}, {"keyCode", 53}, {"flags", 0}, {"userData", marker}}}));
}

// Standard input ends while the page is being read: the recognition still running in the
// background must finish against live services, and the helper still exits cleanly. Reading
// this page takes about a second, and input ends a third of a second after the request
// starts; on a machine slow enough to end it before the reading starts, the test checks less.
TEST_F(AssistantProcessTest, EndOfInputDuringScreenReadingStillExitsCleanly) {
    json scenario = {
        {"parentPid", 100},
        {"frontmost", 200},
        {"system", {{"osVersion", "26.1"}}},
        {"permissions", {{"accessibility", true}, {"screenCapture", true}}},
        {"apps",
         {{{"pid", 100}, {"name", "Lumora"}},
          {{"pid", 200},
           {"name", "Reader"},
           {"focusedWindow", "window"},
           {"focusedElement", "page"},
           {"elements",
            {{{"id", "window"}, {"role", "AXWindow"}, {"title", "Chapter One"}},
             {{"id", "page"}, {"role", "AXTextArea"}, {"parent", "window"}, {"value", ""}}}}}}},
        {"windows",
         {{{"number", 42},
           {"ownerPid", 200},
           {"name", "Chapter One"},
           {"bounds", {{"x", 0}, {"y", 0}, {"width", 1280}, {"height", 800}}},
           {"image", {{"path", LUMORA_OCR_FIXTURES "/two-column.png"}}}}}},
        {"languageModel",
         {{"replies",
           {{{"instructionsMatch", "Return exactly one lowercase word"}, {"text", "screen"}},
            {{"text", "0|Never needed."}}}}}}};
    std::string path = directory + "/scenario.json";
    ASSERT_TRUE(files::replaceAtomically(path, scenario.dump(), 0600));
    auto result = exitedCleanly(testing::runProcessUntil(
        testing::builtProgram("assistant/lumora-assistant"),
        "{\"command\":\"open\",\"id\":3}\n"
        "{\"command\":\"ask\",\"id\":3,\"text\":\"What does this page say?\"}\n",
        "\"phase\":\"processing\"",
        {{"LUMORA_SIM_SCENARIO", path}, {"LUMORA_SIM_STATE_OUT", directory + "/state.json"}}, {},
        0.35));
    EXPECT_EQ(state()["fields"][0]["value"], "");
}

TEST_F(AssistantProcessTest, OpenCapturesTheFrontmostAppUnlessItIsLumora) {
    json scenario = {
        {"parentPid", 100},
        {"apps", {{{"pid", 100}, {"name", "Lumora"}}, {{"pid", 200}, {"name", "Notes"}}}},
        {"frontmost", 200}};
    auto result = run("{\"command\":\"open\",\"id\":8}\n", scenario);
    auto lines = events(result);
    ASSERT_EQ(lines.size(), 1u) << result.err;
    EXPECT_EQ(lines[0]["phase"], "result");
    EXPECT_EQ(lines[0]["message"], "Hold your Assistant shortcut to speak a request.");
    EXPECT_EQ(lines[0]["source"], "Notes");
    EXPECT_EQ(lines[0]["context"],
              "ORIGINAL APP AND FOCUSED FIELD (untrusted metadata):\n"
              R"({"app":"Notes","windowTitle":"","focusedRole":"","focusedLabel":""})");

    scenario["frontmost"] = 100;
    lines = events(run("{\"command\":\"open\",\"id\":9}\n", scenario));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["source"], "");
    EXPECT_EQ(lines[0]["canInsert"], false);
    EXPECT_EQ(lines[0]["context"], "");
}

TEST_F(AssistantProcessTest, OpenOnAFocusedFieldReportsItAndItsCaret) {
    json scenario = {
        {"parentPid", 100},
        {"frontmost", 200},
        {"permissions", {{"accessibility", true}}},
        {"apps",
         {{{"pid", 100}, {"name", "Lumora"}},
          {{"pid", 200},
           {"name", "Notes"},
           {"focusedWindow", "window"},
           {"focusedElement", "body"},
           {"elements",
            {{{"id", "window"}, {"role", "AXWindow"}, {"title", "Draft"}},
             {{"id", "body"},
              {"role", "AXTextArea"},
              {"parent", "window"},
              {"value", "Dear Ada, "},
              {"caretBounds", {{"x", 412}, {"y", 318}, {"width", 1}, {"height", 17}}}}}}}}},
        {"windows",
         {{{"number", 42},
           {"ownerPid", 200},
           {"name", "Draft"},
           {"bounds", {{"x", 200}, {"y", 120}, {"width", 640}, {"height", 400}}}}}}};
    auto lines = events(run("{\"command\":\"open\",\"id\":8}\n", scenario));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["canInsert"], true);
    EXPECT_EQ(lines[0]["source"], "Notes");
    EXPECT_EQ(lines[0]["bounds"], json({{"x", 412}, {"y", 318}, {"width", 1}, {"height", 17}}));

    // Without a caret rectangle the window stands in for it.
    scenario["apps"][1]["elements"][1].erase("caretBounds");
    lines = events(run("{\"command\":\"open\",\"id\":9}\n", scenario));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["canInsert"], true);
    EXPECT_EQ(lines[0]["bounds"], json({{"x", 200}, {"y", 120}, {"width", 640}, {"height", 400}}));
}

TEST_F(AssistantProcessTest, ScreenCapableRequestsNeedScreenRecording) {
    json scenario = {{"system", {{"osVersion", "26.1"}}},
                     {"permissions", {{"screenCapture", false}}}};
    auto lines = events(run("{\"command\":\"ask\",\"id\":10,\"text\":\"hi\"}\n", scenario));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["id"], 10);
    EXPECT_EQ(lines[0]["phase"], "error");
    EXPECT_EQ(lines[0]["message"],
              "Enable Screen Recording in Lumora’s Assistant section, then try again.");
}

TEST_F(AssistantProcessTest, CommandsNeedingTheCurrentIdStaySilentOtherwise) {
    auto result =
        run("{\"command\":\"cancel\",\"id\":20}\n"
            "{\"command\":\"stop\",\"id\":21}\n{\"command\":\"copy\",\"id\":21}\n"
            "{\"command\":\"screen\",\"id\":21}\n{\"command\":\"undo\",\"id\":21}\n"
            "{\"command\":\"undo\",\"id\":20}\n{\"command\":\"halt\",\"id\":21}\n"
            "{\"command\":\"whisper_partial\",\"id\":20,\"text\":\"x\"}\n"
            "{\"command\":\"whisper_result\",\"id\":20}\n"
            "{\"command\":\"whisper_error\",\"id\":20}\n");
    auto lines = events(result);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["phase"], "idle");
}

TEST_F(AssistantProcessTest, PermissionCommandsRequestThenReport) {
    json scenario = {{"permissions",
                      {{"microphone", 0},
                       {"speechRecognition", 0},
                       {"screenCapture", false},
                       {"microphoneRequestResult", 3},
                       {"speechRecognitionRequestResult", 2}}}};
    auto lines =
        events(run("{\"command\":\"permissions\",\"id\":1}\n"
                   "{\"command\":\"permission_screen\",\"id\":2}\n",
                   scenario));
    ASSERT_EQ(lines.size(), 2u);
    // Each command ends with its own report; the screen one answers at once, the other after
    // its requests, so their order depends on how the lines arrived.
    auto requested = std::find_if(lines.begin(), lines.end(),
                                  [](const json& report) { return report["microphone"] == 3; });
    ASSERT_NE(requested, lines.end());
    EXPECT_EQ((*requested)["phase"], "availability");
    EXPECT_EQ((*requested)["id"], 0);
    EXPECT_EQ((*requested)["recognition"], 2);
    for (const auto& report : lines) EXPECT_EQ(report["screen"], false);
    EXPECT_EQ(state()["permissionRequests"].size(), 3u) << state()["permissionRequests"];
}

// Spoken requests. The user holds Fn, which the app watches itself: only its "stop" ends the
// recording. The recogniser hears "the beta" once 0.2 s of audio came in, and the whole
// sentence when the audio ends.
const std::string saidSoFar = R"("text":"the beta"})";
const std::string said = "the beta ships on Friday.";
const std::string inserted = "\"message\":\"Text inserted\"";
const std::string stop = line({{"command", "stop"}, {"id", 5}});

const std::string answer = "Great news: the beta ships on Friday!";

// Notes in front, as the controller tests have it; the model answers only a prompt that
// carries the transcript.
json spokenWorld() {
    json world = controller_testing::notesWorld(
        {controller_testing::classifierSays("none"), {{"match", said}, {"text", "0|" + answer}}});
    world["speech"]["results"] = {{{"text", "the beta"}, {"afterAudio", 0.2}},
                                  {{"text", said}, {"final", true}}};
    return world;
}

std::string start(json options) {
    options.update({{"command", "start"}, {"id", 5}, {"key", "Hold:Fn"}});
    return line(options);
}

TEST_F(AssistantProcessTest, ASpokenDictationShowsWhatWasSaidSoFarThenTypesTheTranscript) {
    auto result =
        talk(start({{"mode", "dictation"}}), {{saidSoFar, stop}, {inserted, ""}}, spokenWorld());
    EXPECT_EQ(phases(result),
              (std::vector<std::string>{"processing", "recording", "recording", "processing",
                                        "transcript", "processing", "result"}))
        << result.out;
    EXPECT_EQ(state()["fields"][0]["value"], "Dear Ada, " + said);
}

TEST_F(AssistantProcessTest, ADictationWithoutAccessibilityIsCopied) {
    json world = spokenWorld();
    world["permissions"]["accessibility"] = false;
    auto result = talk(start({{"mode", "dictation"}, {"output", "copy"}}),
                       {{saidSoFar, stop}, {"Transcript copied.", ""}}, world);
    auto lines = events(result);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["message"], "Transcript copied.");
    EXPECT_EQ(state()["pasteboard"]["items"],
              json({{{{"type", "public.utf8-plain-text"}, {"data", said}}}}));
    EXPECT_EQ(state()["fields"][0]["value"], "Dear Ada, ");
}

// The window is captured while the user speaks, as a screen-capable request needs.
TEST_F(AssistantProcessTest, ASpokenAssistantRequestIsAnsweredIntoTheNote) {
    auto result =
        talk(start({{"mode", "assistant"}}), {{saidSoFar, stop}, {inserted, ""}}, spokenWorld());
    EXPECT_EQ(state()["fields"][0]["value"], "Dear Ada, " + answer) << result.out;
}

// The microphone says a ramp, so the audio the app receives shows sample by sample whether
// buffers were lost, repeated or resampled at the wrong ratio.
TEST_F(AssistantProcessTest, AWhisperDictationStreamsTheRecordingAndTypesTheAppsTranscript) {
    constexpr double inputRate = 48000;
    constexpr double outputRate = 16000;
    constexpr double rampSeconds = 1;
    auto ramp = [](double seconds) { return -0.9 + 1.8 * seconds / rampSeconds; };
    json samples = json::array();
    for (int i = 0; i < rampSeconds * inputRate; ++i) {
        samples.push_back(std::round(ramp(i / inputRate) * 1e6) / 1e6);
    }
    json world = spokenWorld();
    world["audio"] = {{"sampleRate", inputRate}, {"samples", samples}};
    const std::string transcript = "Thanks, everyone.";
    auto result = talk(start({{"mode", "dictation"}, {"transcriptionEngine", "whisper"}}),
                       {{"\"phase\":\"whisper_audio\"", stop, 10},
                        {"\"phase\":\"whisper_finish\"",
                         line({{"command", "whisper_result"}, {"id", 5}, {"text", transcript}})},
                        {inserted, ""}},
                       world);
    EXPECT_EQ(state()["fields"][0]["value"], "Dear Ada, " + transcript);

    std::vector<float> audio;
    std::size_t lastAudio = 0;
    std::size_t finish = 0;
    auto lines = events(result);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i]["phase"] == "whisper_finish") finish = i;
        if (lines[i]["phase"] != "whisper_audio") continue;
        lastAudio = i;
        std::optional<std::string> bytes = base64::decode(lines[i]["audio"].get<std::string>());
        ASSERT_TRUE(bytes && bytes->size() % sizeof(float) == 0);
        audio.resize(audio.size() + bytes->size() / sizeof(float));
        std::memcpy(audio.data() + audio.size() - bytes->size() / sizeof(float), bytes->data(),
                    bytes->size());
    }
    EXPECT_GT(finish, lastAudio);
    // Whole 1,024-frame buffers went in, so once the converter is flushed a whole number of
    // them comes out, each a third as long.
    const double buffers = std::round(audio.size() * inputRate / outputRate / 1024);
    EXPECT_NEAR(audio.size(), buffers * 1024 * outputRate / inputRate, 1);
    EXPECT_GE(buffers, 10);
    // The converter's filter rings where the signal jumps: at the start, where the ramp ends in
    // silence and at the end. Its minimum phase puts all the ringing after the jump, where it
    // settles within 25 ms (400 samples).
    constexpr std::size_t ringing = 400;
    for (std::size_t k = ringing; k + ringing < audio.size(); ++k) {
        const double seconds = k / outputRate;
        if (std::abs(seconds - rampSeconds) * outputRate < ringing) continue;
        const double expected = seconds < rampSeconds ? ramp(seconds) : 0;
        ASSERT_NEAR(audio[k], expected, 1e-3) << "sample " << k << " of " << audio.size();
    }
}

// Standard input ends while the user is still speaking: the recording is dropped, the app is
// told to drop its Whisper transcription, and the helper exits cleanly.
TEST_F(AssistantProcessTest, EndOfInputDuringARecordingDropsIt) {
    struct Case {
        json options;
        std::string heard;
        long whisperCancels;
    };
    const std::vector<Case> cases = {
        {{{"mode", "dictation"}}, saidSoFar, 0},
        {{{"mode", "dictation"}, {"transcriptionEngine", "whisper"}}, "whisper_audio", 1},
    };
    for (const Case& c : cases) {
        auto result = talk(start(c.options), {{c.heard, ""}}, spokenWorld());
        auto seen = phases(result);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), "whisper_cancel"), c.whisperCancels)
            << c.options;
        EXPECT_EQ(state()["fields"][0]["value"], "Dear Ada, ") << c.options;
    }
}

// The app stops reading events and keeps sending commands: the helper stops reading in turn
// instead of queueing them in memory, and once the app reads again every command is answered,
// in order.
TEST_F(AssistantProcessTest, CommandsWaitWhileEventsGoUnreadAndNoneIsLost) {
    constexpr int statuses = 300;
    constexpr int commands = 50'000;
    std::string input;
    for (int i = 0; i < statuses; ++i) input += line({{"command", "status"}, {"id", 1}});
    const std::string text(2'000, 'a');
    for (int id = 1; id <= commands; ++id) {
        input += line({{"command", "nothing"}, {"id", id}, {"text", text}});
    }
    testing::StalledPeer app(testing::builtProgram("assistant/lumora-assistant"), std::move(input),
                             environment(nullptr));
    app.waitUntilInputStops(0.5);
    // A sanitizer's own shadow and caches: an address-sanitizer build of the helper holds
    // about 100 MiB after a few commands, whatever it queues, a thread-sanitizer one about 50.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr std::size_t sanitizerKiB = 128u * 1024;
#else
    constexpr std::size_t sanitizerKiB = 0;
#endif
    EXPECT_LT(app.peakResidentKiB(), 64u * 1024 + sanitizerKiB);

    ProcessResult result = exitedCleanly(app.finish());
    auto lines = events(result);
    ASSERT_EQ(lines.size(), std::size_t{statuses + commands});
    for (int i = 0; i < statuses; ++i) EXPECT_EQ(lines[i]["phase"], "availability");
    for (int id = 1; id <= commands; ++id) {
        ASSERT_EQ(
            lines[statuses + id - 1],
            (json{{"id", id}, {"phase", "error"}, {"message", "Unknown assistant command."}}));
    }
}

// Input ends within the second a pasted answer holds the user's clipboard: the helper gives it
// back before it exits. (A machine slow enough to announce the answer after the restore is due
// checks less.)
TEST_F(AssistantProcessTest, EndOfInputRightAfterAPasteStillGivesTheUserTheirClipboardBack) {
    json scenario = {
        {"parentPid", 100},
        {"frontmost", 200},
        {"system", {{"osVersion", "26.1"}}},
        {"permissions", {{"accessibility", true}, {"screenCapture", true}}},
        {"keyboard", {{"layout", {{"9", "v"}}}}},
        {"pasteboard", {{"items", {{{{"type", "public.utf8-plain-text"}, {"data", "mine"}}}}}}},
        {"apps",
         {{{"pid", 100}, {"name", "Lumora"}},
          {{"pid", 200},
           {"name", "Notes"},
           {"focusedWindow", "window"},
           {"focusedElement", "body"},
           {"elements",
            {{{"id", "window"}, {"role", "AXWindow"}, {"title", "Draft"}},
             {{"id", "body"},
              {"role", "AXTextArea"},
              {"parent", "window"},
              {"value", "Dear Ada, hello"},
              {"selection", {{"location", 10}, {"length", 5}}}}}}}}},
        {"windows",
         {{{"number", 42},
           {"ownerPid", 200},
           {"name", "Draft"},
           {"bounds", {{"x", 0}, {"y", 0}, {"width", 100}, {"height", 100}}},
           {"image", {{"width", 100}, {"height", 100}, {"fill", "#FFFFFF"}}}}}},
        {"languageModel",
         {{"replies",
           {{{"instructionsMatch", "Return exactly one lowercase word"}, {"text", "none"}},
            {{"text", "0|Thanks!"}}}}}}};
    auto result = exitedCleanly(
        testing::runProcessUntil(testing::builtProgram("assistant/lumora-assistant"),
                                 line({{"command", "open"}, {"id", 1}}) +
                                     line({{"command", "ask"}, {"id", 1}, {"text", "Thank her"}}),
                                 "\"message\":\"Text inserted\"", environment(scenario)));
    EXPECT_EQ(state()["fields"][0]["value"], "Dear Ada, Thanks!");
    EXPECT_EQ(state()["pasteboard"]["items"],
              json({{{{"type", "public.utf8-plain-text"}, {"data", "mine"}}}}));
}

}  // namespace
}  // namespace lumora
