#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/sim/sim_fixture.h"

namespace lumora::sim {
namespace {

using platform::RunningApplication;

constexpr std::string_view scenario = R"({
  "parentPid": 100,
  "frontmost": 200,
  "apps": [
    {"pid": 100, "name": "Lumora", "bundleId": "com.vantor.app"},
    {"pid": 200, "name": "Notes", "bundleId": "com.apple.Notes"},
    {"pid": 300, "bundleId": "com.example.helper"},
    {"pid": 400, "name": "Old", "terminated": true}
  ],
  "installedApplications": {"com.apple.Notes": "/System/Applications/Notes.app/Contents/MacOS/Notes"},
  "windows": [
    {"number": 7, "ownerPid": 100, "layer": 1000, "name": "Lumora", "alpha": 0.5},
    {"number": 42, "ownerPid": 200, "name": "Draft", "bounds": {"x": 1, "y": 2, "width": 3, "height": 4}},
    {"ownerPid": 400, "name": "Gone"},
    {"ownerPid": 1, "layer": 25, "name": "Menubar"}
  ]
})";

class WorkspaceTest : public testing::Test {
  protected:
    std::unique_ptr<SimDesktop> desktop = desktopFrom(scenario);
    platform::Workspace& workspace = desktop->workspace();
};

TEST_F(WorkspaceTest, ReportsRunningApplicationsAndTheFrontmostOne) {
    EXPECT_EQ(workspace.frontmostApplication(),
              (RunningApplication{200, "Notes", "com.apple.Notes"}));
    EXPECT_EQ(workspace.runningApplications(),
              (std::vector<RunningApplication>{{100, "Lumora", "com.vantor.app"},
                                               {200, "Notes", "com.apple.Notes"},
                                               {300, std::nullopt, "com.example.helper"}}));
    EXPECT_FALSE(workspace.isTerminated(200));
    EXPECT_TRUE(workspace.isTerminated(400));
    EXPECT_TRUE(workspace.isTerminated(999));
    EXPECT_EQ(workspace.parentProcessId(), 100);
    EXPECT_EQ(workspace.applicationExecutable("com.apple.Notes"),
              "/System/Applications/Notes.app/Contents/MacOS/Notes");
    EXPECT_EQ(workspace.applicationExecutable("com.vantor.app"), std::nullopt);
}

TEST_F(WorkspaceTest, ActivationBringsRunningApplicationsToTheFront) {
    EXPECT_TRUE(workspace.activate(300));
    EXPECT_EQ(workspace.frontmostApplication()->pid, 300);
    EXPECT_FALSE(workspace.activate(400));
    EXPECT_FALSE(workspace.activate(999));
    EXPECT_TRUE(workspace.activate(300));
    EXPECT_EQ(workspace.frontmostApplication()->pid, 300);
    EXPECT_EQ(desktop->activatedApplications(), (std::vector<pid_t>{300, 300}));
}

TEST_F(WorkspaceTest, AQuittingFrontmostApplicationHandsTheFrontToTheNextOne) {
    desktop->terminate(200);
    EXPECT_EQ(workspace.frontmostApplication()->pid, 100);
    EXPECT_TRUE(workspace.isTerminated(200));
    EXPECT_FALSE(workspace.activate(200));
}

TEST_F(WorkspaceTest, OpensOnlyTextsWithAScheme) {
    struct Case {
        std::string url;
        bool opens;
    };
    const std::vector<Case> cases = {
        {"x-apple.systempreferences:com.apple.preference.security?Privacy_Microphone", true},
        {"https://example.com/a b", true},
        {"mailto:someone@example.com", true},
        {"", false},
        {"example.com", false},
        {":nothing", false},
        {"1http://example.com", false},
        {"ht tp://example.com", false},
    };
    std::vector<std::string> opened;
    for (const auto& c : cases) {
        EXPECT_EQ(workspace.openURL(c.url), c.opens) << c.url;
        if (c.opens) opened.push_back(c.url);
    }
    EXPECT_EQ(desktop->openedURLs(), opened);
}

TEST_F(WorkspaceTest, WindowListLeavesOutWindowsOfQuitApplications) {
    auto windows = desktop->windows().onScreenWindows();
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(windows[0], (platform::WindowInfo{7, 100, 1000, "Lumora", std::nullopt, 0.5}));
    EXPECT_EQ(windows[1],
              (platform::WindowInfo{42, 200, 0, "Draft", platform::Rect{1, 2, 3, 4}, 1}));
    EXPECT_EQ(windows[2], (platform::WindowInfo{std::nullopt, 1, 25, "Menubar", std::nullopt, 1}));
    desktop->terminate(200);
    EXPECT_EQ(desktop->windows().onScreenWindows().size(), 2u);
}

}  // namespace
}  // namespace lumora::sim
