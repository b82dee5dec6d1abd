#include "reader-host/origin.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "reader-host/deployment.h"
#include "runtime/atomic_file.h"
#include "tests/reader-host/test_services.h"

namespace lumora::ReaderHost {
namespace {

using nlohmann::json;

TEST(OriginTest, AcceptsExactlyTheReaderExtension) {
    const std::string origin(allowedOrigin);
    EXPECT_EQ(origin.size(), 52u);
    EXPECT_TRUE(acceptsOrigin(origin));
    EXPECT_FALSE(acceptsOrigin(std::nullopt));
    EXPECT_FALSE(acceptsOrigin(""));
    EXPECT_FALSE(acceptsOrigin(origin.substr(0, 51)));
    EXPECT_FALSE(acceptsOrigin(origin + "/"));
    EXPECT_FALSE(acceptsOrigin("CHROME-EXTENSION" + origin.substr(16)));
}

TEST(OriginTest, TheRecordCutsEachArgumentToThreeHundredCharacters) {
    // "é" written as e and a combining accent: 300 characters are 900 bytes here.
    std::string accented;
    for (int i = 0; i < 301; ++i) accented += "e\xcc\x81";
    std::string expected;
    for (int i = 0; i < 300; ++i) expected += "e\xcc\x81";
    EXPECT_EQ(json::parse(originRejectionRecord({std::string(400, 'a'), accented, "\xff"})),
              (json{{"arguments", {std::string(300, 'a'), expected, "\xef\xbf\xbd"}}}));
    EXPECT_EQ(originRejectionRecord({}), R"({"arguments":[]})");
}

TEST(OriginTest, TheRecordGoesIntoTheNamedDirectoryOnly) {
    testing::TemporaryDirectory directory;
    recordOriginRejection(directory.path(), {"chrome-extension://other/"});
    EXPECT_EQ(files::readAll(directory.path() + "/origin-rejected.json"),
              R"({"arguments":["chrome-extension://other/"]})");
    // A directory that does not exist is not created, and nothing fails.
    recordOriginRejection(directory.path() + "/missing", {});
    EXPECT_FALSE(files::readAll(directory.path() + "/missing/origin-rejected.json"));
}

}  // namespace
}  // namespace lumora::ReaderHost
