#include "reader-host/page_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lumora::ReaderHost {
namespace {

using platform::PixelRect;

constexpr double infinity = std::numeric_limits<double>::infinity();
const Viewport viewport{1280, 800};

struct Fit {
    const char* name;
    Rect region;
    Viewport viewport;
    bool fits;
};

class RegionFitTest : public ::testing::TestWithParam<Fit> {};

TEST_P(RegionFitTest, AllowsOnePixelOfSlack) {
    EXPECT_EQ(regionFitsViewport(GetParam().region, GetParam().viewport), GetParam().fits);
}

INSTANTIATE_TEST_SUITE_P(
    Regions, RegionFitTest,
    ::testing::Values(Fit{"Inside", {100, 50, 400, 600}, viewport, true},
                      Fit{"WholeViewport", {0, 0, 1280, 800}, viewport, true},
                      Fit{"HalfPixelBeyond", {0.5, 0, 1280, 800.5}, viewport, true},
                      Fit{"OnePixelBeyond", {1, 1, 1280, 800}, viewport, true},
                      Fit{"OneAndAHalfBeyondRight", {1.5, 0, 1280, 10}, viewport, false},
                      Fit{"OneAndAHalfBeyondBottom", {0, 0, 10, 801.5}, viewport, false},
                      Fit{"NegativeX", {-0.1, 0, 10, 10}, viewport, false},
                      Fit{"NegativeY", {0, -1, 10, 10}, viewport, false},
                      Fit{"ZeroWidth", {0, 0, 0, 10}, viewport, false},
                      Fit{"ZeroHeight", {0, 0, 10, 0}, viewport, false},
                      Fit{"EmptyViewport", {0, 0, 0.5, 0.5}, {0, 800}, false},
                      Fit{"InfiniteViewport", {0, 0, 10, 10}, {infinity, 800}, false},
                      Fit{"NotANumber", {std::nan(""), 0, 10, 10}, viewport, false}),
    [](const auto& info) { return info.param.name; });

TEST(ScaleTest, TheScreenshotMustBeTheViewportUniformlyScaled) {
    EXPECT_TRUE(scalesMatch(2560, 1600, viewport));
    EXPECT_TRUE(scalesMatch(1280, 800, viewport));
    // 2.0 against 1.923...
    EXPECT_FALSE(scalesMatch(2000, 1000, {1000, 520}));
    // Scales 1.0 against 1.029, then against 1.031.
    EXPECT_TRUE(scalesMatch(1000, 1029, {1000, 1000}));
    EXPECT_FALSE(scalesMatch(1000, 1031, {1000, 1000}));
}

struct Crop {
    const char* name;
    Rect region;
    Viewport viewport;
    std::uint64_t pixelWidth;
    std::uint64_t pixelHeight;
    std::optional<PixelRect> crop;
};

class CropTest : public ::testing::TestWithParam<Crop> {};

TEST_P(CropTest, ScalesThenEnclosesInWholePixels) {
    const auto& c = GetParam();
    const auto crop = cropRectangle(c.region, c.viewport, c.pixelWidth, c.pixelHeight);
    ASSERT_EQ(crop.has_value(), c.crop.has_value());
    if (crop) {
        EXPECT_EQ((std::array{crop->x, crop->y, crop->width, crop->height}),
                  (std::array{c.crop->x, c.crop->y, c.crop->width, c.crop->height}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Crops, CropTest,
    ::testing::Values(
        Crop{"ScaleTwo", {100, 50, 400, 600}, viewport, 2560, 1600, PixelRect{200, 100, 800, 1200}},
        Crop{"HalfPixelOrigin", {0.5, 0, 10, 10}, viewport, 2560, 1600, PixelRect{1, 0, 20, 20}},
        Crop{"FractionalOrigin", {0.3, 0, 10, 10}, viewport, 2560, 1600, PixelRect{0, 0, 21, 20}},
        Crop{"WholeImage", {0, 0, 1280, 800}, viewport, 2560, 1600, PixelRect{0, 0, 2560, 1600}},
        Crop{"ScaleOne", {10.2, 20.7, 5.5, 5}, viewport, 1280, 800, PixelRect{10, 20, 6, 6}},
        Crop{"HalfPixelBeyondLeavesTheImage",
             {0.5, 0, 1280, 10},
             viewport,
             2560,
             1600,
             std::nullopt},
        Crop{"BeyondTheBottom", {0, 799, 10, 1.5}, viewport, 1280, 800, std::nullopt},
        Crop{"ExtremeScale", {0, 0, 0.5, 0.5}, {1e-310, 1e-310}, 100, 100, std::nullopt}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace lumora::ReaderHost
