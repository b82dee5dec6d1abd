#include "assistant/screen/window_capture.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "runtime/bridge.h"

namespace lumora {

namespace {

using Windows = std::vector<platform::ShareableWindow>;

Error windowUnavailable() {
    return Error("Lumora.ScreenCapture", 1, "The original window is no longer available.");
}

template <class T>
void complete(const Completion<T>& done, platform::Outcome<T> outcome) {
    if (auto* error = std::get_if<Error>(&outcome)) {
        done.fail(std::make_exception_ptr(*error));
    } else {
        done(std::move(std::get<T>(outcome)));
    }
}

}  // namespace

std::uint32_t ScreenCapture::pixelLength(double points, double scale) {
    double pixels = std::trunc(points * scale);
    if (!(pixels >= 1)) return 1;
    return static_cast<std::uint32_t>(
        std::min(pixels, static_cast<double>(std::numeric_limits<std::uint32_t>::max())));
}

Task<platform::Image> ScreenCapture::window(platform::ScreenCapture& capture,
                                            std::uint32_t windowID) {
    co_await checkCancellation();
    auto listWindows = [&capture](Completion<Windows> done) {
        capture.shareableWindows(
            [done](platform::Outcome<Windows> outcome) { complete(done, std::move(outcome)); });
    };
    // Awaiters are named: GCC 12 may destroy a temporary of a co_await operand twice.
    auto listing = callback<Windows>(std::move(listWindows));
    Windows windows = co_await listing;
    co_await checkCancellation();
    auto found = std::find_if(windows.begin(), windows.end(),
                              [&](const auto& window) { return window.windowID == windowID; });
    if (found == windows.end()) throw windowUnavailable();
    std::uint32_t width = pixelLength(found->contentRect.width, found->pointPixelScale);
    std::uint32_t height = pixelLength(found->contentRect.height, found->pointPixelScale);
    auto takePicture = [&capture, windowID, width, height](Completion<platform::Image> done) {
        capture.captureWindow(windowID, width, height,
                              [done](platform::Outcome<platform::Image> outcome) {
                                  complete(done, std::move(outcome));
                              });
    };
    auto picture = callback<platform::Image>(std::move(takePicture));
    platform::Image image = co_await picture;
    co_await checkCancellation();
    co_return image;
}

}  // namespace lumora
