// One record through a request: what it holds, when it is written, and how it fails.
#include "assistant/audit/generation_history.h"

#include <gtest/gtest.h>

#include "runtime/base64.h"
#include "runtime/uuid.h"
#include "tests/audit/audit_fixture.h"

namespace lumora {
namespace {

using GenerationHistoryTest = AuditTest;

TEST_F(GenerationHistoryTest, ARequestLeavesThisExactFile) {
    auto history = openRecord(18'446'744'073'709'551'615u);
    ASSERT_TRUE(history);
    clock.setContinuous(1000.25);
    history->update("recording", "Listening… Release to ask.", "", "preview");
    history->input({{"provider", "local"}, {"imageAttached", false}});
    clock.setContinuous(1000.5);
    history->raw("0|Hi");
    history->update("streaming", "", "Hi", "preview");
    clock.setContinuous(1000.75);
    history->update("result", "Inserted.", "Hi there", "inserted");

    std::string expected =
        R"json({"action":"inserted","createdAt":1800000000000.0,"events":[)json"
        R"json({"at":1800000000250.0,"message":"Listening… Release to ask.","phase":"recording"},)json"
        R"json({"at":1800000000500.0,"message":"","phase":"streaming"},)json"
        R"json({"at":1800000000750.0,"message":"Inserted.","phase":"result"}],)json"
        R"json("finishedAt":1800000000750.0,"id":"AUDIT-ID","imageAttached":false,)json"
        R"json("message":"Inserted.","model":"Apple Foundation Models (on-device)",)json"
        R"json("osVersion":"Version 26.0 (Build 25A354)","output":"Hi there",)json"
        R"json("provider":"local","rawOutput":"0|Hi","requestId":18446744073709551615,)json"
        R"json("source":"Notes","status":"result"})json";
    expected.replace(expected.find("AUDIT-ID"), 8, history->auditID());
    EXPECT_EQ(contents(history->file()), expected);
    EXPECT_EQ(history->file(), folder() + "/" + history->auditID() + ".json");
    auto uuid = Uuid::parse(history->auditID().substr(14));
    ASSERT_TRUE(uuid);
    EXPECT_EQ(uuid->string(), history->auditID().substr(14));
    EXPECT_EQ(modeOf(folder()), 0700u);
    EXPECT_EQ(modeOf(history->file()), 0600u);
    EXPECT_FALSE(errorOf(*history));
}

TEST_F(GenerationHistoryTest, TheCallerOnlyHandsOverAndABurstOfInputsIsOneWrite) {
    auto history = openRecord();
    for (const char* key : {"request", "inputType", "provider", "model"}) history->input(key, key);
    platform::Image image{1, 1, {1, 2, 3, 255}};
    history->screenshot(image);
    EXPECT_FALSE(std::filesystem::exists(folder()));
    EXPECT_EQ(writer.pendingCount(), 2u);  // the creation, then the latest state once
    auto record = onDisk(*history);
    EXPECT_EQ(record["model"], "model");
    EXPECT_TRUE(record.contains("screenshot"));
    history->screenshot(image);
    EXPECT_EQ(writer.pendingCount(), 0u);  // the same capture again is neither encoded nor written
    history->update("result", "Done", "", "");
    EXPECT_TRUE(onDisk(*history).contains("screenshot"));
}

TEST_F(GenerationHistoryTest, InputsWriteAtOnceAndReplaceKeysOfAnyType) {
    auto history = openRecord();
    history->update("processing", "Thinking on this Mac…", "", "preview");
    EXPECT_EQ(onDisk(*history)["status"], "started");  // throttled
    history->input({{"model", "assistant-standard"}, {"events", 5}});
    EXPECT_EQ(onDisk(*history)["status"], "processing");
    EXPECT_EQ(onDisk(*history)["model"], "assistant-standard");
    history->update("result", "Done", "", "");
    EXPECT_EQ(onDisk(*history)["events"].size(), 1u);
}

TEST_F(GenerationHistoryTest, RepeatedPhasesCollapseIntoTheirFirstEvent) {
    auto history = openRecord();
    for (int chunk = 0; chunk < 10; ++chunk) {
        history->update("streaming", "chunk " + std::to_string(chunk),
                        "text " + std::to_string(chunk), "preview");
    }
    history->update("processing", "Inserting text…", "", "preview");
    history->update("streaming", "again", "", "preview");
    const auto& events = history->record()["events"];
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0]["phase"], "streaming");
    EXPECT_EQ(events[0]["message"], "chunk 0");
    EXPECT_EQ(events[1]["phase"], "processing");
    EXPECT_EQ(events[2]["message"], "again");
    EXPECT_EQ(history->record()["output"], "text 9");
}

TEST_F(GenerationHistoryTest, OnlySomePhasesKeepTheirText) {
    struct Case {
        const char* phase;
        const char* text;
        const char* key;  // nullptr: neither transcript nor output
    };
    for (const Case& c : {Case{"recording", "hello", "transcript"}, Case{"recording", "", nullptr},
                          Case{"streaming", "Hi", "output"}, Case{"result", "Hi", "output"},
                          Case{"error", "Hi", "output"}, Case{"processing", "Hi", nullptr},
                          Case{"transcript", "Hi", nullptr}}) {
        auto history = openRecord();
        history->update(c.phase, "", c.text, "");
        const auto& record = history->record();
        EXPECT_EQ(record.contains("transcript"), c.key && std::string(c.key) == "transcript")
            << c.phase;
        EXPECT_EQ(record.contains("output"), c.key && std::string(c.key) == "output") << c.phase;
        if (c.key) {
            EXPECT_EQ(record[c.key], c.text) << c.phase;
        }
    }
}

TEST_F(GenerationHistoryTest, NothingChangesAfterATerminalPhase) {
    platform::Image pixel{1, 1, {1, 2, 3, 255}};
    for (const char* terminal : {"result", "error", "canceled", "interrupted"}) {
        auto history = openRecord();
        clock.setContinuous(clock.continuousSeconds() + 0.25);
        history->update(terminal, "Ended", "", "");
        EXPECT_TRUE(history->finished());
        EXPECT_EQ(history->record()["finishedAt"], clock.wallSeconds() * 1000) << terminal;
        std::string written = contents(history->file());
        json::Document record = history->record();

        clock.setContinuous(clock.continuousSeconds() + 2);
        history->update("result", "Late", "late text", "inserted");
        history->input("late", true);
        history->raw("late raw");
        history->screenshot(pixel);
        EXPECT_EQ(contents(history->file()), written) << terminal;
        EXPECT_EQ(history->record(), record) << terminal;
    }
}

TEST_F(GenerationHistoryTest, RawOutputIsWrittenAtMostOnceASecondAndForcedAtTheEnd) {
    auto history = openRecord();  // written at 1000.0
    struct Step {
        double at;
        const char* raw;
        const char* onDisk;  // nullptr: no rawOutput yet
    };
    for (const Step& step :
         {Step{1000.0, "a", nullptr}, Step{1000.5, "ab", nullptr}, Step{1000.999, "abc", nullptr},
          Step{1001.0, "abcd", "abcd"}, Step{1001.5, "abcde", "abcd"},
          Step{1002.25, "abcdef", "abcdef"}, Step{1002.5, "abcdefg", "abcdef"}}) {
        clock.setContinuous(step.at);
        history->raw(step.raw);
        auto record = onDisk(*history);
        if (step.onDisk) {
            EXPECT_EQ(record["rawOutput"], step.onDisk) << step.at;
        } else {
            EXPECT_FALSE(record.contains("rawOutput")) << step.at;
        }
    }
    history->update("result", "Done", "", "");
    EXPECT_EQ(onDisk(*history)["rawOutput"], "abcdefg");
}

TEST_F(GenerationHistoryTest, AnUnwritableFolderIsReportedAfterEveryUpdate) {
    writeFile(scratch + "/blocker");
    std::string inside = scratch + "/blocker/audit";
    auto history = GenerationHistory::open(7, "Notes", services, inside);
    ASSERT_TRUE(history);
    EXPECT_EQ(errorOf(*history),
              "Could not create the audit folder “" + inside + "”: Not a directory.");
    for (const char* phase : {"processing", "streaming", "result"}) {
        history->update(phase, "", "", "");
        EXPECT_EQ(errorOf(*history),
                  "Could not save the audit record “" + history->file() + "”: Not a directory.")
            << phase;
    }
}

TEST_F(GenerationHistoryTest, AFailedWriteIsRetriedWithoutWaitingAndTheErrorIsKept) {
    auto history = openRecord();
    writer.runReady();
    std::filesystem::rename(folder(), folder() + ".moved");
    writeFile(folder());
    clock.setContinuous(1002.0);
    history->update("processing", "Thinking on this Mac…", "", "preview");
    EXPECT_EQ(errorOf(*history),
              "Could not save the audit record “" + history->file() + "”: Not a directory.");

    std::filesystem::remove(folder());
    std::filesystem::rename(folder() + ".moved", folder());
    clock.setContinuous(1002.1);
    history->update("streaming", "", "Hi", "preview");
    EXPECT_EQ(onDisk(*history)["status"], "streaming");
    EXPECT_TRUE(errorOf(*history));
}

TEST_F(GenerationHistoryTest, TheScreenshotIsStoredAsAPngDataUrl) {
    auto history = openRecord();
    platform::Image image{2, 1, {255, 0, 0, 255, 0, 0, 255, 128}};
    history->screenshot(image);
    std::string stored = onDisk(*history)["screenshot"];
    const std::string prefix = "data:image/png;base64,";
    ASSERT_EQ(stored.substr(0, prefix.size()), prefix);
    auto png = base64::decode(stored.substr(prefix.size()));
    ASSERT_TRUE(png);
    EXPECT_EQ(images.decode(*png), image);
    EXPECT_FALSE(errorOf(*history));

    auto broken = openRecord();
    broken->screenshot(platform::Image{2, 2, {1, 2, 3}});
    EXPECT_EQ(errorOf(*broken), "Could not encode the captured screenshot.");
    EXPECT_FALSE(onDisk(*broken).contains("screenshot"));
}

}  // namespace
}  // namespace lumora
