// A scratch folder, a manual clock and the services an audit record needs. The records' writer
// runs by hand: whatever reads the folder or a record's failure runs it first.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "assistant/audit/generation_history.h"
#include "platform/linux/png_images.h"
#include "platform/sim/sim_system.h"
#include "runtime/atomic_file.h"
#include "runtime/manual_executor.h"

namespace lumora {

class AuditTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "lumora-audit-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        scratch = pattern;
        world->system.version.versionString = "Version 26.0 (Build 25A354)";
        world->system.environment["LUMORA_AUDIT_DIR"] = std::nullopt;
    }
    void TearDown() override { std::filesystem::remove_all(scratch); }

    std::unique_ptr<GenerationHistory> openRecord(std::uint64_t requestID = 7) {
        return GenerationHistory::open(requestID, "Notes", services, folder());
    }
    std::string folder() const { return scratch + "/audit"; }

    std::string contents(const std::string& path) {
        writer.runReady();
        return files::readAll(path).value_or("<missing>");
    }
    json::Document onDisk(const GenerationHistory& history) {
        return json::Document::parse(contents(history.file()));
    }
    std::optional<std::string> errorOf(const GenerationHistory& history) {
        writer.runReady();
        return history.error();
    }
    static void writeFile(const std::string& path, const std::string& text = "{}") {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::set<std::string> names(const std::string& directory) {
        writer.runReady();
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(directory)) {
            found.insert(entry.path().filename().string());
        }
        return found;
    }
    static mode_t modeOf(const std::string& path) {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return info.st_mode & 07777;
    }

    std::string scratch;
    ManualClock clock{1000.0, 1'800'000'000.0};
    std::shared_ptr<sim::World> world = std::make_shared<sim::World>();
    sim::SimSystem system{world};
    platform::PngImages images;
    ManualExecutor writer;
    GenerationHistory::Services services{clock, images, system, writer};
};

}  // namespace lumora
