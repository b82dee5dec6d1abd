#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/sim/sim_fixture.h"

namespace lumora::sim {
namespace {

using platform::PasteboardItem;

constexpr std::string_view scenario = R"({
  "pasteboard": {
    "changeCount": 5,
    "items": [
      [{"type": "public.utf8-plain-text", "data": "first"}, {"type": "public.rtf", "data": "{\\rtf1}"}],
      [{"type": "public.png", "base64": "iVBORw=="}, {"type": "com.example.private", "data": "x"}]
    ],
    "unreadableTypes": ["com.example.private"]
  }
})";

TEST(Pasteboard, ReadsItemsAndTheirTypesInOrder) {
    auto desktop = desktopFrom(scenario);
    auto& pasteboard = desktop->pasteboard();
    EXPECT_EQ(pasteboard.changeCount(), 5);
    ASSERT_EQ(pasteboard.itemCount(), 2u);
    EXPECT_EQ(pasteboard.types(0),
              (std::vector<std::string>{"public.utf8-plain-text", "public.rtf"}));
    EXPECT_EQ(pasteboard.types(1), (std::vector<std::string>{"public.png", "com.example.private"}));
    EXPECT_EQ(pasteboard.types(2), std::vector<std::string>{});
    EXPECT_EQ(pasteboard.data(0, "public.rtf"), "{\\rtf1}");
    EXPECT_EQ(pasteboard.data(1, "public.png"), std::string("\x89PNG", 4));
    EXPECT_EQ(pasteboard.data(1, "com.example.private"), std::nullopt);
    EXPECT_EQ(pasteboard.data(0, "public.png"), std::nullopt);
    EXPECT_EQ(pasteboard.data(2, "public.utf8-plain-text"), std::nullopt);
}

TEST(Pasteboard, ClearingAndEveryWriteBumpTheChangeCount) {
    auto desktop = desktopFrom(scenario);
    auto& pasteboard = desktop->pasteboard();
    EXPECT_EQ(pasteboard.clearContents(), 6);
    EXPECT_EQ(pasteboard.itemCount(), 0u);
    EXPECT_TRUE(pasteboard.setString("reply"));
    EXPECT_EQ(pasteboard.changeCount(), 7);
    EXPECT_TRUE(pasteboard.setString("again"));
    EXPECT_EQ(pasteboard.changeCount(), 8);
    ASSERT_EQ(pasteboard.itemCount(), 1u);
    EXPECT_EQ(pasteboard.types(0), std::vector<std::string>{"public.utf8-plain-text"});
    EXPECT_EQ(pasteboard.data(0, "public.utf8-plain-text"), "again");

    std::vector<PasteboardItem> items = {
        {{"public.html", "<b>a</b>"}, {"public.utf8-plain-text", "a"}}, {}};
    EXPECT_TRUE(pasteboard.writeItems(items));
    EXPECT_EQ(pasteboard.changeCount(), 9);
    ASSERT_EQ(pasteboard.itemCount(), 3u);
    EXPECT_EQ(pasteboard.types(1),
              (std::vector<std::string>{"public.html", "public.utf8-plain-text"}));
    EXPECT_EQ(pasteboard.types(2), std::vector<std::string>{});
}

TEST(Pasteboard, SetStringAddsTextToTheFirstItem) {
    auto desktop = desktopFrom(scenario);
    EXPECT_TRUE(desktop->pasteboard().setString("replaced"));
    EXPECT_EQ(desktop->pasteboard().itemCount(), 2u);
    EXPECT_EQ(desktop->pasteboard().data(0, "public.utf8-plain-text"), "replaced");
    EXPECT_EQ(desktop->pasteboard().data(0, "public.rtf"), "{\\rtf1}");
}

TEST(Pasteboard, RefusedWritesChangeNothing) {
    auto desktop = desktopFrom(R"({"pasteboard": {"writesFail": true,
        "items": [[{"type": "public.utf8-plain-text", "data": "kept"}]]}})");
    auto& pasteboard = desktop->pasteboard();
    EXPECT_FALSE(pasteboard.setString("lost"));
    EXPECT_FALSE(pasteboard.writeItems({{{"public.utf8-plain-text", "lost"}}}));
    EXPECT_EQ(pasteboard.changeCount(), 0);
    EXPECT_EQ(pasteboard.data(0, "public.utf8-plain-text"), "kept");
    EXPECT_EQ(pasteboard.clearContents(), 1);
}

}  // namespace
}  // namespace lumora::sim
