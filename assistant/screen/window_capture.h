// One window's pixels for the model and OCR: captured by window number at its full pixel size,
// without the cursor and without the window shadow.
#pragma once

#include <cstdint>

#include "platform/geometry.h"
#include "platform/images.h"
#include "platform/screen_capture.h"
#include "runtime/task.h"

namespace lumora {

struct ScreenCapture {
    // Fails with "Lumora.ScreenCapture" code 1 when no on-screen window has the number;
    // failures of the capture service pass through unchanged.
    static Task<platform::Image> window(platform::ScreenCapture& capture, std::uint32_t windowID);

    // Pixels for a side of `points` at `scale`: never fewer than one.
    static std::uint32_t pixelLength(double points, double scale);
};

}  // namespace lumora
