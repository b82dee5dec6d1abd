// scripts/install-reader-host, run as a user would run it.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "reader-host/deployment.h"
#include "runtime/atomic_file.h"
#include "tests/e2e/child_process.h"
#include "tests/reader-host/test_services.h"

namespace lumora::ReaderHost {
namespace {

using nlohmann::json;

TEST(InstallScriptTest, RegistersTheHostWithTheBrowsersFoundAndRemovesIt) {
    testing::TemporaryDirectory home;
    const std::string config = home.path() + "/.config";
    std::filesystem::create_directories(config + "/chromium");
    std::filesystem::create_directories(config + "/BraveSoftware/Brave-Browser");
    const std::map<std::string, std::string> environment{{"HOME", home.path()},
                                                         {"XDG_CONFIG_HOME", config}};
    const std::string script = std::string(LUMORA_SOURCE_DIR) + "/scripts/install-reader-host";
    const std::string buildDir = lumora::testing::builtProgram("");

    const auto installed =
        lumora::testing::runProcess(script, "", environment, {"--build-dir", buildDir});
    ASSERT_EQ(installed.exitStatus, 0) << installed.err;
    for (const char* browser : {"chromium", "BraveSoftware/Brave-Browser"}) {
        const auto manifest = files::readAll(config + "/" + browser + "/NativeMessagingHosts/" +
                                             LUMORA_READER_NATIVE_HOST_NAME ".json");
        ASSERT_TRUE(manifest) << browser;
        const json parsed = json::parse(*manifest);
        EXPECT_EQ(parsed["path"], lumora::testing::builtProgram("reader-host/lumora-reader-host"));
        EXPECT_EQ(parsed["type"], "stdio");
        EXPECT_EQ(parsed["name"], LUMORA_READER_NATIVE_HOST_NAME);
        EXPECT_EQ(parsed["allowed_origins"], json::array({std::string(allowedOrigin)}));
    }
    EXPECT_FALSE(std::filesystem::exists(config + "/google-chrome"));

    const auto removed = lumora::testing::runProcess(script, "", environment,
                                                     {"--build-dir", buildDir, "--uninstall"});
    ASSERT_EQ(removed.exitStatus, 0) << removed.err;
    EXPECT_TRUE(std::filesystem::is_empty(config + "/chromium/NativeMessagingHosts"));
    EXPECT_TRUE(
        std::filesystem::is_empty(config + "/BraveSoftware/Brave-Browser/NativeMessagingHosts"));
}

}  // namespace
}  // namespace lumora::ReaderHost
