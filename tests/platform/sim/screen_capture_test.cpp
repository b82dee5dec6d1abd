#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/png_images.h"
#include "runtime/atomic_file.h"
#include "tests/platform/sim/sim_fixture.h"

namespace lumora::sim {
namespace {

using platform::Image;
using platform::ShareableWindow;

const Image checker{2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255}};

class ScreenCaptureTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "sim-capture-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        auto png = images.encodePng(checker);
        ASSERT_TRUE(png && files::replaceAtomically(directory + "/checker.png", *png, 0644));
        ASSERT_TRUE(files::replaceAtomically(directory + "/broken.png", "not a png", 0644));
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::unique_ptr<SimDesktop> load(const std::string& permissions = "{}") {
        return desktopFrom(R"({
          "apps": [{"pid": 200}, {"pid": 300, "terminated": true}],
          "permissions": )" +
                           permissions + R"(,
          "windows": [
            {"number": 1, "ownerPid": 200, "bounds": {"x": 5, "y": 6, "width": 0.4, "height": 30},
             "scale": 2, "image": {"width": 300, "height": 200, "fill": "#10203040"}},
            {"number": 2, "ownerPid": 200, "image": {"path": ")" +
                           directory + R"(/checker.png"}},
            {"number": 3, "ownerPid": 200, "image": {"path": ")" +
                           directory + R"(/broken.png"}},
            {"number": 4, "ownerPid": 200},
            {"ownerPid": 200, "name": "unnumbered"},
            {"number": 5, "ownerPid": 300, "image": {"width": 1, "height": 1}}
          ],
          "processes": {
            "/usr/sbin/screencapture": {"outputImage": {"path": ")" +
                           directory + R"(/checker.png"}},
            "/usr/bin/false": {"exitStatus": 1, "outputImage": {"width": 1, "height": 1}},
            "/usr/bin/selector": {"runsUntilTerminated": true}
          }
        })");
    }

    platform::Outcome<Image> capture(SimDesktop& desktop, std::uint32_t id, std::uint32_t width,
                                     std::uint32_t height) {
        std::optional<platform::Outcome<Image>> outcome;
        desktop.screenCapture().captureWindow(id, width, height,
                                              [&](auto result) { outcome = result; });
        return *outcome;
    }

    std::string directory;
    platform::PngImages images;
};

std::string errorText(const platform::Outcome<Image>& outcome) {
    const auto* error = std::get_if<Error>(&outcome);
    if (!error) return "an image";
    return error->domain + " " + std::to_string(error->code) + " " + error->description;
}

TEST_F(ScreenCaptureTest, ShareableWindowsAreTheNumberedWindowsOnScreen) {
    auto desktop = load();
    std::optional<platform::Outcome<std::vector<ShareableWindow>>> outcome;
    desktop->screenCapture().shareableWindows([&](auto result) { outcome = result; });
    const auto& windows = std::get<std::vector<ShareableWindow>>(*outcome);
    ASSERT_EQ(windows.size(), 4u);
    EXPECT_EQ(windows[0].windowID, 1u);
    EXPECT_EQ(windows[0].contentRect, (platform::Rect{5, 6, 0.4, 30}));
    EXPECT_EQ(windows[0].pointPixelScale, 2);
    EXPECT_EQ(windows[3].windowID, 4u);
    EXPECT_EQ(windows[3].contentRect, platform::Rect{});
    EXPECT_EQ(windows[3].pointPixelScale, 1);
}

TEST_F(ScreenCaptureTest, CapturesArePicturesScaledToTheRequestedSize) {
    auto desktop = load();
    auto fill = std::get<Image>(capture(*desktop, 1, 2, 1));
    EXPECT_EQ(fill, (Image{2, 1, {16, 32, 48, 64, 16, 32, 48, 64}}));

    EXPECT_EQ(std::get<Image>(capture(*desktop, 2, 2, 2)), checker);
    auto doubled = std::get<Image>(capture(*desktop, 2, 4, 2));
    const std::vector<std::uint8_t> red = {255, 0, 0, 255}, green = {0, 255, 0, 255},
                                    blue = {0, 0, 255, 255}, white = {255, 255, 255, 255};
    std::vector<std::uint8_t> expected;
    for (const auto* pixel : {&red, &red, &green, &green, &blue, &blue, &white, &white}) {
        expected.insert(expected.end(), pixel->begin(), pixel->end());
    }
    EXPECT_EQ(doubled, (Image{4, 2, expected}));
}

TEST_F(ScreenCaptureTest, FailuresNameTheWindow) {
    auto desktop = load();
    EXPECT_EQ(errorText(capture(*desktop, 3, 1, 1)),
              "Lumora.Sim 4 Cannot read the image of window 3");
    EXPECT_EQ(errorText(capture(*desktop, 4, 1, 1)), "Lumora.Sim 2 No image for window 4");
    EXPECT_EQ(errorText(capture(*desktop, 5, 1, 1)), "Lumora.Sim 3 No window 5 is on screen");
    EXPECT_EQ(errorText(capture(*desktop, 9, 1, 1)), "Lumora.Sim 3 No window 9 is on screen");
}

TEST_F(ScreenCaptureTest, NothingIsCapturedWithoutScreenRecording) {
    auto desktop = load(R"({"screenCapture": false})");
    const std::string declined =
        "com.apple.ScreenCaptureKit.SCStreamErrorDomain -3801 The user "
        "declined TCCs for application, window, display capture";
    EXPECT_EQ(errorText(capture(*desktop, 1, 1, 1)), declined);
    std::optional<platform::Outcome<std::vector<ShareableWindow>>> outcome;
    desktop->screenCapture().shareableWindows([&](auto result) { outcome = result; });
    EXPECT_EQ(std::get<Error>(*outcome).code, -3801);
}

// The status the tool reported to its exit handler so far.
std::optional<int> exitStatus(platform::ChildProcess& tool) {
    auto status = std::make_shared<std::optional<int>>();
    tool.whenExited([status](int code) { *status = code; });
    return *status;
}

TEST_F(ScreenCaptureTest, TheRegionToolWritesItsPictureToTheLastArgument) {
    auto desktop = load();
    std::string output = directory + "/screen.png";
    std::vector<std::string> arguments = {"-x", "-i", "-s", "-T", "0", output};
    auto tool = desktop->screenCapture().makeProcess("/usr/sbin/screencapture", arguments);
    EXPECT_TRUE(desktop->launchedProcesses().empty());
    tool->launch();
    EXPECT_EQ(exitStatus(*tool), 0);
    EXPECT_FALSE(tool->isRunning());
    auto written = files::readAll(output);
    ASSERT_TRUE(written);
    EXPECT_EQ(images.decode(*written), checker);
    EXPECT_EQ(desktop->launchedProcesses(),
              (std::vector<ProcessLaunch>{{"/usr/sbin/screencapture", arguments}}));
}

TEST_F(ScreenCaptureTest, AFailingToolWritesNothing) {
    auto desktop = load();
    std::string output = directory + "/none.png";
    auto tool = desktop->screenCapture().makeProcess("/usr/bin/false", {output});
    tool->launch();
    EXPECT_EQ(exitStatus(*tool), 1);
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(ScreenCaptureTest, AnInteractiveToolRunsUntilTerminated) {
    auto desktop = load();
    auto tool = desktop->screenCapture().makeProcess("/usr/bin/selector", {});
    EXPECT_FALSE(tool->isRunning());
    tool->launch();
    EXPECT_TRUE(tool->isRunning());
    EXPECT_EQ(exitStatus(*tool), std::nullopt);
    std::optional<int> status;
    tool->whenExited([&](int code) { status = code; });
    tool->terminate();
    EXPECT_EQ(status, 15);
    EXPECT_FALSE(tool->isRunning());
}

TEST_F(ScreenCaptureTest, AMissingExecutableCannotLaunch) {
    auto desktop = load();
    auto tool = desktop->screenCapture().makeProcess("/opt/tools/snap", {});
    try {
        tool->launch();
        FAIL() << "launched";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain, "NSCocoaErrorDomain");
        EXPECT_EQ(error.code, 4);
        EXPECT_EQ(error.description, "The file “snap” doesn’t exist.");
    }
    EXPECT_TRUE(desktop->launchedProcesses().empty());
}

}  // namespace
}  // namespace lumora::sim
