// The window list as the assistant uses it, on both desktops: each editor's window with its
// owner, layer, title and bounds, front to back, and the window of an editor that quits.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/platform/contract/desktop_world.h"

namespace lumora::contract {
namespace {

using platform::WindowInfo;

template <class World>
class WindowsContract : public ::testing::Test {
  protected:
    std::unique_ptr<DesktopWorld> world = makeWorld<World>();

    // Where the window stands in the front-to-back list; the list's size when it is not there.
    static std::size_t position(const std::vector<WindowInfo>& windows, std::uint32_t number) {
        auto found = std::find_if(windows.begin(), windows.end(), [number](const WindowInfo& info) {
            return info.number == number;
        });
        return static_cast<std::size_t>(found - windows.begin());
    }
};

TYPED_TEST_SUITE(WindowsContract, Worlds);

TYPED_TEST(WindowsContract, ListsEachEditorsWindowFrontToBackWithItsOwnerTitleAndBounds) {
    std::vector<Editor> editors = this->world->openEditors({"An older note.", "Dear Ada,"});
    std::vector<WindowInfo> windows = this->world->windows().onScreenWindows();

    for (const Editor& editor : editors) {
        std::size_t index = this->position(windows, editor.window);
        ASSERT_LT(index, windows.size()) << editor.title;
        const WindowInfo& window = windows[index];
        EXPECT_EQ(window.ownerPid, editor.pid);
        EXPECT_EQ(window.layer, 0);
        EXPECT_EQ(window.name, editor.title);
        EXPECT_EQ(window.alpha, 1);
        ASSERT_TRUE(window.bounds);
        EXPECT_GE(window.bounds->x, 0);
        EXPECT_GE(window.bounds->y, 0);
        EXPECT_GT(window.bounds->width, 0);
        EXPECT_GT(window.bounds->height, 0);
    }
    EXPECT_LT(this->position(windows, editors.back().window),
              this->position(windows, editors.front().window));
}

TYPED_TEST(WindowsContract, TheWindowOfAnEditorThatQuitsLeavesTheList) {
    std::vector<Editor> editors = this->world->openEditors({"An older note.", "Dear Ada,"});

    this->world->closeEditor(editors.front());

    std::vector<WindowInfo> windows = this->world->windows().onScreenWindows();
    EXPECT_EQ(this->position(windows, editors.front().window), windows.size());
    EXPECT_LT(this->position(windows, editors.back().window), windows.size());
    for (const WindowInfo& window : windows) EXPECT_NE(window.ownerPid, editors.front().pid);
}

}  // namespace
}  // namespace lumora::contract
