// A typed request all the way through the controller on the simulated desktop: the checks, the
// scripted on-device model, delivery into the focused field or to the app, the timeout, stale
// requests, and the audit record that tells the story.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/host/controller_fixture.h"

namespace lumora {
namespace {

using namespace controller_testing;
using nlohmann::json;

class GenerationTest : public ControllerTest {};

TEST_F(GenerationTest, StreamsATextAnswerIntoTheFieldAndAuditsTheRequest) {
    useAuditDirectory();
    load(notesWorld({classifierSays("none"), modelSays("0|Roses are red.", 4)}));
    ask("Write a line about roses");

    EXPECT_EQ(field("body"), "Dear Ada, Roses are red.");
    std::vector<json> expected = {
        {"capturing_screen", "Capturing your window…"},
        {"processing", "Thinking on this Mac…"},
        {"streaming", "Generating…"},
        {"streaming", "Generating…"},
        {"streaming", "Generating…"},
        {"streaming", "Generating…"},
        {"result", "Text inserted"},
    };
    EXPECT_EQ(phasesOf(2), expected);
    std::vector<std::string> streamed;
    for (const json& event : events) {
        if (event["phase"] != "streaming") continue;
        streamed.push_back(event["text"]);
        EXPECT_EQ(event["action"], "preview");
    }
    EXPECT_EQ(streamed, (std::vector<std::string>{"Ro", "Roses ", "Roses are ", "Roses are red."}));
    EXPECT_EQ(events.back()["action"], "applied");
    EXPECT_EQ(events.back()["text"], "");
    EXPECT_EQ(copiedResult(2), "Roses are red.");

    const json record = auditRecord();
    const json& input = record;
    EXPECT_EQ(input["request"], "Write a line about roses");
    EXPECT_EQ(input["inputType"], "typed");
    EXPECT_EQ(input["contextSource"], "none");
    EXPECT_EQ(input["screenCaptured"], true);
    EXPECT_EQ(input["imageAttached"], false);
    EXPECT_EQ(input["attachmentLabel"], "original-window");
    EXPECT_FALSE(input.contains("insertionFailure"));
    EXPECT_EQ(record["rawOutput"], "0|Roses are red.");
    EXPECT_TRUE(record["screenshot"].get<std::string>().starts_with("data:image/png;base64,"));
    ASSERT_FALSE(record["events"].empty());
    EXPECT_EQ(record["events"].back()["phase"], "result");
}

TEST_F(GenerationTest, PastesTheWholeAnswerWhenTheFirstWriteWasRefusedUnchanged) {
    useAuditDirectory();
    json world = notesWorld({classifierSays("none"), modelSays("0|Hello there", 3)});
    world["apps"][1]["focusedElement"] = "stubborn";
    load(world);
    ask("Greet them");

    EXPECT_EQ(field("stubborn"), "Hello there");
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2]["message"], "Inserting text…");
    EXPECT_EQ(events[events.size() - 2]["text"], "Hello there");
    EXPECT_EQ(events.back()["message"], "Text inserted");
    EXPECT_EQ(events.back()["action"], "applied");
    const json input = auditRecord();
    EXPECT_EQ(input["insertionFailure"], "");
    EXPECT_EQ(input["targetRole"], "AXTextArea");
    EXPECT_EQ(input["targetHadSnapshot"], true);
}

TEST_F(GenerationTest, AUserEditDuringStreamingEndsWithTheAnswerOfferedForCopying) {
    load(notesWorld({classifierSays("none"), modelSays("0|Roses are red.", 4)}));
    onEvent = [this](const json& event) {
        if (event["phase"] == "streaming" && event["text"] == "Ro") {
            sim->desktop->editField("body", "Dear Ada, Ro and my own words", {29, 0});
        }
    };
    ask("Write a line about roses");

    EXPECT_EQ(field("body"), "Dear Ada, Ro and my own words");
    EXPECT_EQ(events.back()["phase"], "result");
    EXPECT_EQ(events.back()["message"],
              "Could not safely finish inserting into the original field. Full answer available "
              "to copy.");
    EXPECT_EQ(events.back()["text"], "Roses are red.");
    EXPECT_EQ(events.back()["action"], "preview");
    for (const json& event : events) EXPECT_NE(event["message"], "Inserting text…");
}

TEST_F(GenerationTest, WithoutATargetThePasteFailsAndTheAnswerStaysAvailable) {
    useAuditDirectory();
    json world = notesWorld({modelSays("0|Hello there", 8)});
    world["frontmost"] = 100;  // Lumora itself: no field of the user's
    load(world);
    ask("Greet them");

    std::vector<json> expected = {
        {"processing", "Thinking on this Mac…"},
        {"streaming", "Generating…"},
        {"streaming", "Generating…"},
        {"processing", "Inserting text…"},
        {"result", "Could not paste into the active app. Your answer is available to copy."},
    };
    EXPECT_EQ(phasesOf(2), expected);
    EXPECT_EQ(events.back()["text"], "Hello there");
    EXPECT_EQ(events.back()["action"], "preview");
    const json input = auditRecord();
    EXPECT_EQ(input["insertionFailure"], "no-target");
    EXPECT_EQ(input["targetRole"], "");
    EXPECT_EQ(input["targetHadSnapshot"], false);
}

struct HandedBackCase {
    const char* name;
    const char* classifier;
    const char* output;
    const char* streamingMessage;
    const char* resultMessage;
    const char* resultText;
    const char* action;
};

class HandedBackTest : public GenerationTest, public testing::WithParamInterface<HandedBackCase> {};

TEST_P(HandedBackTest, GoesToTheAppAndLeavesTheFieldAlone) {
    const HandedBackCase& c = GetParam();
    json world = notesWorld({classifierSays(c.classifier), modelSays(c.output, 3)});
    world["apps"][1]["elements"][1]["value"] = "Dear Ada, the beta ships Friday.";
    world["apps"][1]["elements"][1]["selection"] = {{"location", 10}, {"length", 22}};
    load(world);
    ask("Do it");

    EXPECT_EQ(field("body"), "Dear Ada, the beta ships Friday.");
    EXPECT_TRUE(sim->desktop->postedEvents().empty());
    for (const json& event : events) {
        if (event["phase"] != "streaming") continue;
        EXPECT_EQ(event["message"], c.streamingMessage);
        EXPECT_EQ(event["action"], c.action);
    }
    EXPECT_EQ(events.back()["phase"], "result");
    EXPECT_EQ(events.back()["message"], c.resultMessage);
    EXPECT_EQ(events.back()["text"], c.resultText);
    EXPECT_EQ(events.back()["action"], c.action);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, HandedBackTest,
    testing::Values(HandedBackCase{"Speak", "none", "1|Friday it is.", "Generating…",
                                   "Preparing narration…", "Friday it is.", "speak"},
                    HandedBackCase{"ReadSelection", "selection", "2|", "Generating…",
                                   "Preparing narration…", "the beta ships Friday.", "speak"},
                    HandedBackCase{"Clarify", "none", "3|Which note do you mean?", "Clarifying…",
                                   "Hold Assistant again with more detail",
                                   "Which note do you mean?", "clarify"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GenerationTest, TheSelectionStaysOutOfThePromptWhenTheClassifierSaysNone) {
    json world = notesWorld({classifierSays("none"), modelSays("2|")});
    world["apps"][1]["elements"][1]["value"] = "Dear Ada, the beta ships Friday.";
    world["apps"][1]["elements"][1]["selection"] = {{"location", 10}, {"length", 22}};
    load(world);
    ask("Read it aloud");

    EXPECT_EQ(events.back()["phase"], "error");
    EXPECT_EQ(events.back()["message"],
              "Assistant could not complete this request: Select some text before asking Lumora "
              "to read it aloud.");
    auto calls = answerCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].prompt.find("the beta ships"), std::string::npos);
    EXPECT_EQ(calls[0].configuration, platform::ModelConfiguration::standard);
}

TEST_F(GenerationTest, TheChosenSelectionIsTheReferenceWithoutItsMetadata) {
    json world = notesWorld({classifierSays("selection"), modelSays("0|Done.")});
    world["apps"][1]["elements"][1]["selection"] = {{"location", 0}, {"length", 8}};
    load(world);
    ask("Make it formal");

    auto calls = answerCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].prompt.find("SELECTED TEXT:\nDear Ada"), std::string::npos);
    EXPECT_EQ(calls[0].prompt.find("Notes"), std::string::npos);
    EXPECT_EQ(calls[0].configuration, platform::ModelConfiguration::generalPermissive);
}

TEST_F(GenerationTest, RequestsOfMoreThan4000CharactersAreRefused) {
    load(notesWorld({classifierSays("none"), modelSays("0|Fine.")}));
    ask(std::string(4000, 'a'));
    EXPECT_EQ(phasesOf(2).at(1), json({"processing", "Thinking on this Mac…"}));

    ask(std::string(4001, 'a'), 3);
    std::vector<json> expected = {
        {"capturing_screen", "Capturing your window…"},
        {"error", "Select a shorter passage or use a shorter request."},
    };
    EXPECT_EQ(phasesOf(3), expected);
}

TEST_F(GenerationTest, AFollowUpSeesTheFirst6000CharactersOfThePreviousAnswer) {
    std::string longAnswer;
    for (int i = 0; i < 700; ++i) longAnswer += "word " + std::to_string(i % 10) + "____";
    ASSERT_EQ(longAnswer.size(), 7000u);
    load(notesWorld({classifierSays("none"),
                     {{"match", "Draft"}, {"text", "0|" + longAnswer}, {"chunkSize", 1000}},
                     modelSays("0|Shorter.")}));
    ask("Draft a long essay");
    ASSERT_EQ(copiedResult(2), longAnswer);

    events.clear();
    send({{"command", "ask"}, {"id", 3}, {"text", "Make it shorter"}});
    advance(2.0);
    ASSERT_TRUE(finished(3));
    auto calls = answerCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[1].prompt.find("PREVIOUS OUTPUT (for follow-up edits):\n" +
                                   longAnswer.substr(0, 6000) + "\n"),
              std::string::npos);
    EXPECT_EQ(calls[1].prompt.find(longAnswer.substr(0, 6001)), std::string::npos);
    EXPECT_EQ(calls[0].prompt.find("PREVIOUS OUTPUT"), std::string::npos);
}

// The reply to "the first request": a few characters, then nothing until it is stopped.
json slowFirstAnswer() {
    return {{"match", "first"}, {"text", "0|Slow answer"}, {"chunkSize", 2}, {"stallsAfter", 4}};
}

TEST_F(GenerationTest, ANewRequestSilencesTheOneStillStreaming) {
    load(notesWorld({classifierSays("none"), slowFirstAnswer(), modelSays("0|Second.")}));
    send({{"command", "open"}, {"id", 1}});
    send({{"command", "ask"}, {"id", 1}, {"text", "the first request"}});
    settle();
    ASSERT_TRUE(!phasesOf(1).empty() && phasesOf(1).back()[0] == "streaming");
    send({{"command", "ask"}, {"id", 2}, {"text", "the second request"}});
    advance(2.0);
    ASSERT_TRUE(finished(2));
    std::size_t firstOfSecond = 0;
    while (events[firstOfSecond]["id"] != 2) ++firstOfSecond;

    advance(100.0);
    // Every event carries the current id, so the first request's leftovers are told apart by
    // what they say: its text, its failure once its stream is stopped, its deadline.
    std::size_t results = 0;
    for (std::size_t i = firstOfSecond; i < events.size(); ++i) {
        const json& event = events[i];
        EXPECT_NE(event["phase"], "error") << event.dump();
        if (event["phase"] == "result") ++results;
        if (event.contains("text") && event["text"].is_string()) {
            EXPECT_EQ(event["text"].get<std::string>().find("Slow"), std::string::npos)
                << event.dump();
        }
    }
    EXPECT_EQ(results, 1u);
    EXPECT_EQ(events.back()["phase"], "result");
}

// The app may send a second "ask" with the request's id: the first generation, cancelled by
// it, must not take the second one's deadline and handle with it as it ends.
TEST_F(GenerationTest, AnAskReusingTheIdKeepsItsOwnDeadline) {
    load(notesWorld({classifierSays("none"),
                     slowFirstAnswer(),
                     classifierSays("none"),
                     {{"match", "again"}, {"text", "0|Never"}, {"stallsAfter", 0}}}));
    send({{"command", "open"}, {"id", 4}});
    send({{"command", "ask"}, {"id", 4}, {"text", "the first request"}});
    settle();
    ASSERT_TRUE(!phasesOf(4).empty() && phasesOf(4).back()[0] == "streaming");
    send({{"command", "ask"}, {"id", 4}, {"text", "ask again"}});
    auto processing = [&] {
        return std::count_if(events.begin(), events.end(),
                             [](const json& event) { return event["phase"] == "processing"; });
    };
    settle();
    ASSERT_EQ(processing(), 2);
    ASSERT_EQ(answerCalls().size(), 2u);

    advance(90.0);
    ASSERT_TRUE(finished(4));
    EXPECT_EQ(events.back()["message"], "Generation timed out. Try a shorter request.");
}

// A window capture asked for while the answer streams takes over the generation's handle; a
// new request must still stop that generation (here it holds the only model worker).
TEST_F(GenerationTest, ANewRequestStopsAGenerationACaptureTookOverFrom) {
    load(notesWorld({classifierSays("none"), slowFirstAnswer(), classifierSays("none"),
                     modelSays("0|Second.")}));
    send({{"command", "open"}, {"id", 1}});
    send({{"command", "ask"}, {"id", 1}, {"text", "the first request"}});
    settle();
    ASSERT_TRUE(!phasesOf(1).empty() && phasesOf(1).back()[0] == "streaming");
    send({{"command", "screen"}, {"id", 1}});
    settle();
    ASSERT_EQ(events.back()["message"], "Visual context captured");

    ask("the second request");
    EXPECT_EQ(events.back()["message"], "Text inserted");
    EXPECT_TRUE(field("body").ends_with("Second.")) << field("body");
}

// A capture asked for while the answer is being generated must not leave the answer's deadline
// armed once the answer is in.
TEST_F(GenerationTest, AFinishedAnswerIsNotTimedOutByACaptureMadeWhileItWasGenerated) {
    load(notesWorld({classifierSays("none"), modelSays("0|Hello world again", 3)}));
    bool asked = false;
    onEvent = [&](const json& event) {
        if (event["message"] != "Thinking on this Mac…" || asked) return;
        asked = true;
        // As the reader thread does: the command arrives between two turns of the loop.
        time.loop.post([this] { send({{"command", "screen"}, {"id", 2}}); });
    };
    ask("write hi");
    ASSERT_TRUE(asked);

    advance(100.0);
    EXPECT_EQ(field("body"), "Dear Ada, Hello world again");
    std::vector<std::string> results;
    for (const json& event : events) {
        EXPECT_NE(event["phase"], "error") << event.dump();
        if (event["phase"] == "result") results.push_back(event["message"]);
    }
    EXPECT_EQ(results, (std::vector<std::string>{"Visual context captured", "Text inserted"}));
}

// A second request on the same field, without a new "open", streams its own reply after the
// first one, and undo takes back only the latest reply.
TEST_F(GenerationTest, AFollowUpOnTheSameFieldStreamsItsOwnReplyAndUndoTakesBackOnlyThat) {
    json world = notesWorld(
        {classifierSays("none"), modelSays("0|Hello brave new world, this is a reply.", 4)});
    world["apps"][1]["elements"][1]["value"] = "Alpha beta gamma";
    world["apps"][1]["elements"][1]["selection"] = {{"location", 5}, {"length", 0}};
    load(world);
    const std::string reply = "Hello brave new world, this is a reply.";
    ask("Write a reply", 1);
    ASSERT_EQ(field("body"), "Alpha" + reply + " beta gamma");

    events.clear();
    send({{"command", "ask"}, {"id", 2}, {"text", "Make it shorter"}});
    advance(2.0);
    EXPECT_EQ(events.back()["message"], "Text inserted");
    EXPECT_EQ(field("body"), "Alpha" + reply + reply + " beta gamma");

    send({{"command", "undo"}, {"id", 2}});
    settle();
    EXPECT_EQ(events.back()["message"], "Change undone");
    EXPECT_EQ(field("body"), "Alpha" + reply + " beta gamma");
}

TEST_F(GenerationTest, AnAnswerThatNeverComesTimesOutAfter90Seconds) {
    load(notesWorld(
        {classifierSays("none"), {{"text", "0|Never"}, {"chunkSize", 1}, {"stallsAfter", 0}}}));
    send({{"command", "open"}, {"id", 5}});
    send({{"command", "ask"}, {"id", 5}, {"text", "Take your time"}});
    settle();
    ASSERT_EQ(phasesOf(5).size(), 3u);
    advance(89.0);
    EXPECT_EQ(phasesOf(5).size(), 3u);

    advance(1.0);
    ASSERT_TRUE(finished(5));
    EXPECT_EQ(events.back()["message"], "Generation timed out. Try a shorter request.");
    advance(100.0);
    EXPECT_EQ(phasesOf(5).size(), 4u);
}

TEST_F(GenerationTest, AnUnwritableAuditFolderIsReportedAfterEveryEvent) {
    json world = notesWorld({classifierSays("none"), modelSays("0|Fine.", 8)});
    // A folder cannot be made inside a regular file.
    world["system"]["environment"] = {{"LUMORA_AUDIT_DIR", "/dev/null/audit"}};
    load(world);
    ask("Say fine");

    // The failure is known once the audit writer has met it; every event from then on is
    // followed by its report.
    std::size_t reported = 0;
    while (reported < events.size() && events[reported]["phase"] != "audit_error") ++reported;
    ASSERT_LT(reported, events.size());
    ASSERT_EQ((events.size() - reported) % 2, 1u);
    for (std::size_t i = reported - 1; i < events.size(); i += 2) {
        EXPECT_NE(events[i]["phase"], "audit_error");
        EXPECT_EQ(events[i + 1]["phase"], "audit_error");
        const std::string message = events[i + 1]["message"];
        EXPECT_TRUE(message.starts_with("Could not ")) << message;
        EXPECT_NE(message.find("“/dev/null/audit"), std::string::npos) << message;
    }
    EXPECT_EQ(events[events.size() - 2]["message"], "Text inserted");
}

TEST_F(GenerationTest, AFailureOfTheRecordsLastWritesIsStillReported) {
    useAuditDirectory();
    load(notesWorld({classifierSays("none"), modelSays("0|Fine.", 8)}));
    onEvent = [&](const json& event) {
        if (event["phase"] != "streaming" || !std::filesystem::is_directory(*auditDirectory))
            return;
        std::filesystem::remove_all(*auditDirectory);
        std::ofstream(*auditDirectory) << "in the way";
    };
    ask("Say fine");
    std::filesystem::remove(*auditDirectory);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2]["phase"], "result");
    EXPECT_EQ(events.back()["phase"], "audit_error");
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const json& event) { return event["phase"] == "audit_error"; }),
              1);
}

// The region tool of the scenario writes a picture of `scratch`'s own making.
class RegionCaptureTest : public GenerationTest {
  protected:
    // `waitsForTheUser`: the tool runs until it is terminated, as while the user has yet to
    // drag out a region.
    void load(int exitStatus, bool waitsForTheUser = false) {
        scratch = std::filesystem::temp_directory_path() /
                  ("lumora-region-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(scratch);
        json world = notesWorld({classifierSays("none"), modelSays("0|Seen.", 8)});
        world["system"]["temporaryDirectory"] = scratch.string();
        world["processes"] = {
            {"/usr/sbin/screencapture",
             {{"exitStatus", exitStatus},
              {"runsUntilTerminated", waitsForTheUser},
              {"outputImage", {{"width", 32}, {"height", 20}, {"fill", "#F2F2F7"}}}}}};
        useAuditDirectory();
        GenerationTest::load(world);
    }
    void TearDown() override {
        std::filesystem::remove_all(scratch);
        GenerationTest::TearDown();
    }
    bool scratchIsEmpty() const { return std::filesystem::is_empty(scratch); }

    std::filesystem::path scratch;
};

TEST_F(RegionCaptureTest, ARegionIsKeptForTheNextAskOnly) {
    load(0);
    send({{"command", "open"}, {"id", 2}});
    events.clear();
    send({{"command", "screen"}, {"id", 2}, {"context", "region"}});
    advance(2.0);
    ASSERT_TRUE(finished(2));
    std::vector<json> expected = {{"capturing_screen", "Capturing your window…"},
                                  {"result", "Visual context captured"}};
    EXPECT_EQ(phasesOf(2), expected);
    auto launches = sim->desktop->launchedProcesses();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].executable, "/usr/sbin/screencapture");
    ASSERT_EQ(launches[0].arguments.size(), 6u);
    EXPECT_EQ(
        std::vector<std::string>(launches[0].arguments.begin(), launches[0].arguments.begin() + 5),
        (std::vector<std::string>{"-x", "-i", "-s", "-T", "0"}));
    EXPECT_TRUE(launches[0].arguments[5].ends_with("/screen.png"));
    EXPECT_TRUE(scratchIsEmpty());

    // The kept picture answers this ask; no window capture is started for it.
    events.clear();
    send({{"command", "ask"}, {"id", 2}, {"text", "What do you see?"}});
    advance(2.0);
    ASSERT_TRUE(finished(2));
    EXPECT_EQ(phasesOf(2).front(), json({"processing", "Thinking on this Mac…"}));
    EXPECT_EQ(auditRecord()["screenCaptured"], true);

    // The next ask captures the window again.
    events.clear();
    send({{"command", "ask"}, {"id", 2}, {"text", "And now?"}});
    advance(2.0);
    ASSERT_TRUE(finished(2));
    EXPECT_EQ(phasesOf(2).front(), json({"capturing_screen", "Capturing your window…"}));
}

// Each region tool of the request is stopped by a cancel, not only the latest one; the waits
// for them would otherwise hold the model's only worker for good.
TEST_F(RegionCaptureTest, CancelStopsEveryRegionToolOfTheRequest) {
    load(0, true);
    send({{"command", "open"}, {"id", 2}});
    send({{"command", "screen"}, {"id", 2}, {"context", "region"}});
    send({{"command", "screen"}, {"id", 2}, {"context", "region"}});
    send({{"command", "screen"}, {"id", 2}});
    settle();
    ASSERT_EQ(events.back()["message"], "Visual context captured");
    ASSERT_EQ(sim->desktop->launchedProcesses().size(), 2u);
    send({{"command", "cancel"}, {"id", 3}});

    ask("What do you see?", 4);
    EXPECT_EQ(events.back()["message"], "Text inserted");
    EXPECT_TRUE(scratchIsEmpty());
}

TEST_F(RegionCaptureTest, AnAbortedRegionIsReportedAndLeavesNoFiles) {
    load(1);
    send({{"command", "open"}, {"id", 2}});
    events.clear();
    send({{"command", "screen"}, {"id", 2}, {"context", "region"}});
    advance(2.0);
    ASSERT_TRUE(finished(2));
    EXPECT_EQ(events.back()["phase"], "error");
    EXPECT_EQ(events.back()["message"],
              "Could not capture visual context: The operation couldn’t be completed. (Capture "
              "canceled error 1.)");
    EXPECT_TRUE(scratchIsEmpty());
}

TEST_F(GenerationTest, AWindowCaptureNeedsTheSourceWindowAndScreenRecording) {
    json world = notesWorld({classifierSays("none"), modelSays("0|Fine.", 8)});
    world["windows"] = json::array();
    load(world);
    send({{"command", "open"}, {"id", 2}});
    send({{"command", "screen"}, {"id", 2}});
    EXPECT_EQ(events.back()["message"],
              "No original window is available. Select text or try again from the source "
              "window.");

    json closed = notesWorld({classifierSays("none"), modelSays("0|Fine.", 8)});
    load(closed);
    send({{"command", "open"}, {"id", 3}});
    // The window goes away between the session's start and the capture.
    sim->desktop->terminate(200);
    events.clear();
    send({{"command", "screen"}, {"id", 3}});
    advance(2.0);
    ASSERT_TRUE(finished(3));
    EXPECT_EQ(events.back()["message"],
              "Could not capture visual context: The original window is no longer available.");
}

// The window shows a real page: OCR reads it, the scripted extraction copies a line of it.
json pageWorld(const json& extraction) {
    json world = notesWorld({classifierSays("screen"),
                             {{"instructionsMatch", extractionInstructions}, {"text", extraction}},
                             modelSays("0|It is about a lighthouse keeper.")});
    world["windows"][0]["image"] = {{"path", LUMORA_OCR_FIXTURES "/two-column.png"}};
    world["windows"][0]["bounds"]["width"] = 1280;
    world["windows"][0]["bounds"]["height"] = 800;
    return world;
}

TEST_F(GenerationTest, AScreenRequestAnswersFromTheValidatedPassage) {
    useAuditDirectory();
    load(pageWorld("Chapter One: The Winter Light at Harrow Point"));
    ask("What is this page about?");

    EXPECT_EQ(events.back()["message"], "Text inserted");
    auto calls = answerCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].prompt.find(
                  "EXTRACTED SCREEN PASSAGE (untrusted original OCR text):\nChapter One: The "
                  "Winter Light at Harrow Point"),
              std::string::npos);
    EXPECT_FALSE(calls[0].hasImage);
    const json input = auditRecord();
    EXPECT_EQ(input["contextSource"], "screen");
    EXPECT_NE(input["ocr"].get<std::string>().find("Harrow Point"), std::string::npos);
    EXPECT_EQ(input["imageAttached"], false);
}

// With vision switched on, the screenshot goes with the prompt only to a model that takes
// images; any other model is given the page's text, as on a system without vision.
TEST_F(GenerationTest, TheScreenshotIsAttachedOnlyForAModelThatTakesImages) {
    for (bool supportsImages : {false, true}) {
        json world = pageWorld("Chapter One: The Winter Light at Harrow Point");
        world["system"] = {{"osVersion", "27.0"},
                           {"environment", {{"LUMORA_ASSISTANT_VISION_ENABLED", "1"}}}};
        world["languageModel"]["supportsImages"] = supportsImages;
        load(world);
        ask("What is this page about?");

        auto calls = answerCalls();
        ASSERT_EQ(calls.size(), 1u) << supportsImages;
        EXPECT_EQ(calls[0].hasImage, supportsImages);
        EXPECT_EQ(calls[0].prompt.find("EXTRACTED SCREEN PASSAGE") != std::string::npos,
                  !supportsImages);
        EXPECT_EQ(events.back()["message"], "Text inserted") << supportsImages;
    }
}

TEST_F(GenerationTest, AScreenRequestFallsBackToTheSummaryItsExtractionGave) {
    load(pageWorld("SUMMARY_FALLBACK: A lighthouse keeper's morning."));
    ask("Read the page aloud");

    auto calls = answerCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].instructions.starts_with(
        "The requested screen passage could not be reliably extracted."));
    EXPECT_NE(calls[0].prompt.find("A lighthouse keeper's morning."), std::string::npos);
}

TEST_F(GenerationTest, AnExtractionThatInventsTextFailsTheRequest) {
    load(pageWorld("The keeper slept until noon."));
    ask("What is this page about?");

    EXPECT_EQ(events.back()["phase"], "error");
    EXPECT_TRUE(events.back()["message"].get<std::string>().starts_with(
        "Assistant could not complete this request: "));
    EXPECT_TRUE(answerCalls().empty());
}

}  // namespace
}  // namespace lumora
