// The workspace as the assistant uses it, on both desktops: the frontmost editor and the
// running ones with their names, activating another editor, and an editor that quits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/platform/contract/desktop_world.h"

namespace lumora::contract {
namespace {

using platform::RunningApplication;

template <class World>
class WorkspaceContract : public ::testing::Test {
  protected:
    std::unique_ptr<DesktopWorld> world = makeWorld<World>();
    platform::Workspace& workspace() { return world->workspace(); }

    std::optional<pid_t> frontmostPid() {
        auto frontmost = workspace().frontmostApplication();
        return frontmost ? std::optional(frontmost->pid) : std::nullopt;
    }
    std::vector<RunningApplication> runningAs(pid_t pid) {
        std::vector<RunningApplication> found;
        for (RunningApplication& app : workspace().runningApplications()) {
            if (app.pid == pid) found.push_back(std::move(app));
        }
        return found;
    }
};

TYPED_TEST_SUITE(WorkspaceContract, Worlds);

TYPED_TEST(WorkspaceContract, TheLastOpenedEditorIsFrontmostAndEachEditorRunsOnce) {
    std::vector<Editor> editors = this->world->openEditors({"An older note.", "Dear Ada,"});
    auto& workspace = this->workspace();

    std::optional<RunningApplication> frontmost = workspace.frontmostApplication();
    ASSERT_TRUE(frontmost);
    EXPECT_EQ(frontmost->pid, editors.back().pid);
    EXPECT_EQ(frontmost->localizedName, editors.back().name);
    ASSERT_TRUE(frontmost->bundleIdentifier);
    EXPECT_FALSE(frontmost->bundleIdentifier->empty());

    for (const Editor& editor : editors) {
        std::vector<RunningApplication> running = this->runningAs(editor.pid);
        ASSERT_EQ(running.size(), 1u) << editor.title;
        EXPECT_EQ(running.front().localizedName, editor.name);
        EXPECT_EQ(running.front().bundleIdentifier, frontmost->bundleIdentifier);
        EXPECT_FALSE(workspace.isTerminated(editor.pid));
    }
    EXPECT_EQ(this->runningAs(editors.back().pid).front(), *frontmost);
}

TYPED_TEST(WorkspaceContract, ActivatingAnotherEditorBringsItToTheFront) {
    std::vector<Editor> editors = this->world->openEditors({"An older note.", "Dear Ada,"});

    EXPECT_TRUE(this->workspace().activate(editors.front().pid));
    EXPECT_TRUE(eventually([&] { return this->frontmostPid() == editors.front().pid; }));
    // This test process shows no window, so it is no application that could be activated.
    EXPECT_FALSE(this->workspace().activate(::getpid()));
}

TYPED_TEST(WorkspaceContract, AnEditorThatQuitsIsTerminatedAndNoLongerRuns) {
    std::vector<Editor> editors = this->world->openEditors({"An older note.", "Dear Ada,"});
    const Editor& quitting = editors.back();
    auto& workspace = this->workspace();

    this->world->closeEditor(quitting);

    EXPECT_TRUE(eventually([&] { return workspace.isTerminated(quitting.pid); }));
    EXPECT_TRUE(this->runningAs(quitting.pid).empty());
    EXPECT_EQ(this->runningAs(editors.front().pid).size(), 1u);
    EXPECT_FALSE(workspace.isTerminated(editors.front().pid));
    EXPECT_NE(this->frontmostPid(), quitting.pid);
    EXPECT_FALSE(workspace.activate(quitting.pid));
}

}  // namespace
}  // namespace lumora::contract
