// Where records go: their names, the folder they are created in, and pruning.
#include <gtest/gtest.h>

#include "assistant/audit/record_name.h"
#include "assistant/audit/record_pruning.h"
#include "tests/audit/audit_fixture.h"

namespace lumora {
namespace {

using RecordFilesTest = AuditTest;

TEST(AuditRecordFileName, PadsRoundsAndUsesTheUpperCaseUuid) {
    Uuid uuid = *Uuid::parse("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d");
    struct Case {
        double milliseconds;
        const char* prefix;
    };
    for (const Case& c : {Case{0, "0000000000000"}, Case{42.25, "0000000000042"},
                          Case{1'800'000'000'000.75, "1800000000001"},
                          Case{12'345'678'901'234.0, "12345678901234"}}) {
        EXPECT_EQ(auditRecordFileName(c.milliseconds, uuid),
                  std::string(c.prefix) + "-0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D.json");
    }
}

TEST_F(RecordFilesTest, RecordsOfOneMillisecondDifferOnlyByTheirUuid) {
    auto first = openRecord();
    auto second = openRecord();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->auditID(), second->auditID());
    EXPECT_EQ(first->auditID().substr(0, 14), "1800000000000-");
    EXPECT_EQ(second->auditID().substr(0, 14), "1800000000000-");
    EXPECT_EQ(names(folder()),
              (std::set<std::string>{first->auditID() + ".json", second->auditID() + ".json"}));
}

TEST_F(RecordFilesTest, TheDirectoryComesFromTheEnvironmentUnlessGiven) {
    struct Case {
        std::optional<std::string> environment;
        bool audits;
    };
    for (const Case& c : {Case{std::nullopt, false}, Case{"", false}, Case{folder(), true}}) {
        world->system.environment["LUMORA_AUDIT_DIR"] = c.environment;
        auto history = GenerationHistory::open(1, "Notes", services);
        EXPECT_EQ(history != nullptr, c.audits) << c.environment.value_or("<unset>");
        writer.runReady();
        EXPECT_EQ(std::filesystem::exists(folder()), c.audits);
    }
    std::string given = scratch + "/given";
    auto history = GenerationHistory::open(1, "Notes", services, given);
    ASSERT_TRUE(history);
    EXPECT_EQ(history->file(), given + "/" + history->auditID() + ".json");
}

TEST_F(RecordFilesTest, TheFiftyFirstRecordRemovesTheOldestAndLeavesOtherFiles) {
    ASSERT_TRUE(std::filesystem::create_directory(folder()));
    const std::set<std::string> others = {"insertion-trace.jsonl", "notes.txt",
                                          "0000000000000-X.json.bak"};
    for (const auto& name : others) writeFile(folder() + "/" + name);

    std::set<std::string> records;
    std::string oldest;
    for (int index = 0; index < 51; ++index) {
        clock.setContinuous(clock.continuousSeconds() + 0.001);
        auto history = openRecord();
        ASSERT_EQ(errorOf(*history), std::nullopt);
        records.insert(history->auditID() + ".json");
        if (index == 0) oldest = history->auditID() + ".json";
    }
    records.erase(oldest);
    std::set<std::string> expected = records;
    expected.insert(others.begin(), others.end());
    EXPECT_EQ(names(folder()), expected);
}

TEST_F(RecordFilesTest, PruningCountsHiddenRecordsAndOrdersByName) {
    std::filesystem::create_directory(folder());
    for (const char* name : {"0000000000001-A.json", "0000000000002-A.json", "0000000000002-B.json",
                             ".hidden.json", "trace.jsonl"}) {
        writeFile(folder() + "/" + name);
    }
    EXPECT_EQ(pruneAuditRecords(folder(), 2), std::nullopt);
    EXPECT_EQ(names(folder()), (std::set<std::string>{"0000000000002-A.json",
                                                      "0000000000002-B.json", "trace.jsonl"}));
}

TEST_F(RecordFilesTest, PruningStopsAtTheFirstFailureAndEmptiesNoFolder) {
    std::string kept = folder() + "/0000000000000-folder.json";
    std::filesystem::create_directories(kept);
    writeFile(kept + "/inside.txt");
    writeFile(folder() + "/0000000000001-A.json");
    EXPECT_EQ(pruneAuditRecords(folder(), 1),
              "Could not remove the old audit record “" + kept + "”: Directory not empty.");
    EXPECT_TRUE(std::filesystem::exists(kept + "/inside.txt"));
    EXPECT_EQ(
        pruneAuditRecords(scratch + "/absent", 1),
        "Could not read the audit folder “" + scratch + "/absent”: No such file or directory.");
}

}  // namespace
}  // namespace lumora
