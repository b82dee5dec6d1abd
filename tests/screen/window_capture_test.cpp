#include "assistant/screen/window_capture.h"

#include <gtest/gtest.h>

#include <limits>

namespace lumora {
namespace {

TEST(WindowCaptureTest, PixelSidesAreTruncatedAndNeverZero) {
    EXPECT_EQ(ScreenCapture::pixelLength(0.4, 2), 1u);
    EXPECT_EQ(ScreenCapture::pixelLength(0, 2), 1u);
    EXPECT_EQ(ScreenCapture::pixelLength(760.75, 2), 1521u);
    EXPECT_EQ(ScreenCapture::pixelLength(640, 1), 640u);
    EXPECT_EQ(ScreenCapture::pixelLength(std::numeric_limits<double>::quiet_NaN(), 2), 1u);
}

}  // namespace
}  // namespace lumora
