// Screen capture as the assistant uses it, on both desktops: the editors' windows as shareable
// content at their on-screen bounds, a capture of one at the size asked for, and the failures
// of what cannot be captured or started.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>

#include "tests/platform/contract/desktop_world.h"

namespace lumora::contract {
namespace {

using platform::Image;
using platform::Outcome;
using platform::ShareableWindow;

// Completions may come on another thread; a capture that never completes fails the test.
constexpr auto completionTime = std::chrono::seconds(10);

// An id no window has: X ids have 29 bits, and the simulated ones are far below.
constexpr std::uint32_t unknownWindow = 0x1fffffff;

template <class T>
Outcome<T> awaitCompletion(const std::function<void(std::function<void(Outcome<T>)>)>& start) {
    auto promise = std::make_shared<std::promise<Outcome<T>>>();
    std::future<Outcome<T>> future = promise->get_future();
    start([promise](Outcome<T> outcome) { promise->set_value(std::move(outcome)); });
    if (future.wait_for(completionTime) != std::future_status::ready) {
        ADD_FAILURE() << "The completion was not called in time";
        return Error("Contract", 0, "The completion was not called in time");
    }
    return future.get();
}

bool isFlat(const Image& image) {
    for (std::size_t offset = 4; offset + 4 <= image.rgba.size(); offset += 4) {
        if (!std::equal(image.rgba.begin(), image.rgba.begin() + 4, image.rgba.begin() + offset)) {
            return false;
        }
    }
    return true;
}

bool isOpaque(const Image& image) {
    for (std::size_t alpha = 3; alpha < image.rgba.size(); alpha += 4) {
        if (image.rgba[alpha] != 255) return false;
    }
    return true;
}

template <class World>
class ScreenCaptureContract : public ::testing::Test {
  protected:
    std::unique_ptr<DesktopWorld> world = makeWorld<World>();
    platform::ScreenCapture& capture() { return world->screenCapture(); }

    std::vector<ShareableWindow> shareable() {
        auto outcome = awaitCompletion<std::vector<ShareableWindow>>(
            [this](auto done) { capture().shareableWindows(std::move(done)); });
        if (auto* error = std::get_if<Error>(&outcome)) {
            ADD_FAILURE() << error->description;
            return {};
        }
        return std::get<std::vector<ShareableWindow>>(outcome);
    }
    std::optional<ShareableWindow> shared(std::uint32_t window) {
        for (const ShareableWindow& candidate : shareable()) {
            if (candidate.windowID == window) return candidate;
        }
        return std::nullopt;
    }
    Outcome<Image> picture(std::uint32_t window, std::uint32_t width, std::uint32_t height) {
        return awaitCompletion<Image>(
            [&](auto done) { capture().captureWindow(window, width, height, std::move(done)); });
    }
};

TYPED_TEST_SUITE(ScreenCaptureContract, Worlds);

TYPED_TEST(ScreenCaptureContract, EachEditorsWindowIsShareableAtItsOnScreenBounds) {
    std::vector<Editor> editors = this->world->openEditors({"An older note.", "Dear Ada,"});
    std::vector<platform::WindowInfo> onScreen = this->world->windows().onScreenWindows();

    for (const Editor& editor : editors) {
        std::optional<ShareableWindow> window = this->shared(editor.window);
        ASSERT_TRUE(window) << editor.title;
        EXPECT_GT(window->pointPixelScale, 0);
        auto listed = std::find_if(onScreen.begin(), onScreen.end(),
                                   [&](const auto& info) { return info.number == editor.window; });
        ASSERT_NE(listed, onScreen.end());
        EXPECT_EQ(listed->bounds, window->contentRect);
    }
}

TYPED_TEST(ScreenCaptureContract, CapturingAnEditorsWindowGivesItsPixelsAtTheSizeAskedFor) {
    Editor editor = this->world->openEditors({"Dear Ada,\nthe notes are ready."}).back();
    std::optional<ShareableWindow> window = this->shared(editor.window);
    ASSERT_TRUE(window);
    auto width = static_cast<std::uint32_t>(window->contentRect.width * window->pointPixelScale);
    auto height = static_cast<std::uint32_t>(window->contentRect.height * window->pointPixelScale);

    Outcome<Image> full = this->picture(editor.window, width, height);
    ASSERT_TRUE(std::holds_alternative<Image>(full)) << std::get<Error>(full).description;
    const Image& image = std::get<Image>(full);
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, height);
    ASSERT_EQ(image.rgba.size(), std::size_t{width} * height * 4);
    EXPECT_FALSE(isFlat(image));
    EXPECT_TRUE(isOpaque(image));

    Outcome<Image> half = this->picture(editor.window, width / 2, height / 2);
    ASSERT_TRUE(std::holds_alternative<Image>(half)) << std::get<Error>(half).description;
    EXPECT_EQ(std::get<Image>(half).width, width / 2);
    EXPECT_EQ(std::get<Image>(half).height, height / 2);
}

TYPED_TEST(ScreenCaptureContract, WhatIsNotOnScreenOrNotInstalledFailsWithAnError) {
    std::vector<Editor> editors = this->world->openEditors({"An older note.", "Dear Ada,"});
    ASSERT_FALSE(this->shared(unknownWindow));
    Outcome<Image> unknown = this->picture(unknownWindow, 10, 10);
    ASSERT_TRUE(std::holds_alternative<Error>(unknown));
    EXPECT_FALSE(std::get<Error>(unknown).description.empty());

    this->world->closeEditor(editors.front());
    EXPECT_FALSE(this->shared(editors.front().window));
    EXPECT_TRUE(std::holds_alternative<Error>(this->picture(editors.front().window, 10, 10)));
    EXPECT_TRUE(std::holds_alternative<Image>(this->picture(editors.back().window, 10, 10)));

    auto tool = this->capture().makeProcess("/nonexistent/lumora-region-tool", {"out.png"});
    EXPECT_THROW(tool->launch(), Error);
    EXPECT_FALSE(tool->isRunning());
}

}  // namespace
}  // namespace lumora::contract
