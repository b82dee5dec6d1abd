#include "reader-host/app_installation.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sim/sim_desktop.h"
#include "tests/reader-host/test_services.h"

namespace lumora::ReaderHost {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;
using testing::writeFile;

class AppInstallationTest : public ::testing::Test {
  protected:
    AppInstallationTest() { system.home = home.path(); }

    std::string executable(const std::string& relative, fs::perms mode = fs::perms::owner_all) {
        const std::string path = home.path() + "/" + relative;
        writeFile(path, "#!/bin/sh\n");
        fs::permissions(path, mode);
        return path;
    }
    std::string link(const std::string& relative, const std::string& target) {
        const std::string path = home.path() + "/" + relative;
        fs::create_directories(fs::path(path).parent_path());
        fs::create_symlink(target, path);
        return path;
    }
    void writeAppPath(const std::string& contents) {
        writeFile(appPathFile(home.path()), contents);
    }
    std::unique_ptr<sim::SimDesktop> desktopWithApp(const std::string& path) {
        return sim::SimDesktop::load(R"({"installedApplications": {"com.vantor.app": ")" + path +
                                     "\"}}");
    }

    TemporaryDirectory home;
    testing::FakeSystem system;
};

TEST_F(AppInstallationTest, CountsOnlyExecutableFilesOutsideTheTrash) {
    const std::string app = executable("Applications/Lumora");
    EXPECT_TRUE(installedExecutable(app));
    EXPECT_TRUE(installedExecutable(link("bin/lumora", app)));
    EXPECT_FALSE(installedExecutable(executable("plain", fs::perms::owner_read)));
    EXPECT_FALSE(installedExecutable(home.path() + "/Applications"));
    EXPECT_FALSE(installedExecutable(home.path() + "/missing"));
    EXPECT_FALSE(installedExecutable(""));
    for (const char* trashed : {".Trash/Lumora", "Volume/.Trashes/501/Lumora",
                                ".local/share/Trash/files/Lumora", "Volume/.Trash-1000/Lumora"}) {
        const std::string path = executable(trashed);
        EXPECT_FALSE(installedExecutable(path)) << trashed;
        EXPECT_FALSE(installedExecutable(link(std::string("links/") + trashed, path)))
            << "a link into " << trashed;
    }
}

TEST_F(AppInstallationTest, ReadsTheAppPathFileTrimmed) {
    EXPECT_FALSE(appInstalled(system, nullptr));
    writeAppPath("  " + executable("Lumora.app/Contents/MacOS/Lumora") + "\n\n");
    EXPECT_TRUE(appInstalled(system, nullptr));
}

TEST_F(AppInstallationTest, FallsBackToTheApplicationRegisteredForTheBundle) {
    writeAppPath(executable(".Trash/Lumora"));
    auto desktop = desktopWithApp(executable("Applications/Lumora"));
    EXPECT_TRUE(appInstalled(system, &desktop->workspace()));
    auto trashed = desktopWithApp(home.path() + "/.Trash/Lumora");
    EXPECT_FALSE(appInstalled(system, &trashed->workspace()));
    auto none = sim::SimDesktop::load("{}");
    EXPECT_FALSE(appInstalled(system, &none->workspace()));
}

TEST_F(AppInstallationTest, AnAppPathFileThatIsNotTextIsIgnored) {
    writeAppPath(executable("Lumora") + "\xff");
    EXPECT_FALSE(appInstalled(system, nullptr));
}

}  // namespace
}  // namespace lumora::ReaderHost
