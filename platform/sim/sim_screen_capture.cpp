#include "platform/sim/sim_screen_capture.h"

#include <algorithm>

#include "platform/linux/image_scaling.h"
#include "platform/linux/png_images.h"
#include "platform/sim/sim_child_process.h"
#include "platform/sim/sim_windows.h"

namespace lumora::sim {

namespace {

Error captureDeclined() {
    return Error("com.apple.ScreenCaptureKit.SCStreamErrorDomain", -3801,
                 "The user declined TCCs for application, window, display capture");
}

std::string windowName(std::uint32_t windowID) {
    return "window " + std::to_string(windowID);
}

// The window's picture, found under the lock; rendering happens outside it.
platform::Outcome<WindowImage> pictureOf(const World& world, std::uint32_t windowID) {
    if (!world.permissions.screenCapture) return captureDeclined();
    auto windows = windowsOnScreen(world);
    auto found = std::find_if(windows.begin(), windows.end(), [&](const Window* window) {
        return window->info.number == windowID;
    });
    if (found == windows.end()) {
        return Error("Lumora.Sim", 3, "No " + windowName(windowID) + " is on screen");
    }
    if (!(*found)->image) return Error("Lumora.Sim", 2, "No image for " + windowName(windowID));
    return *(*found)->image;
}

}  // namespace

void SimScreenCapture::shareableWindows(
    std::function<void(platform::Outcome<std::vector<platform::ShareableWindow>>)> done) {
    platform::Outcome<std::vector<platform::ShareableWindow>> outcome = captureDeclined();
    {
        std::lock_guard lock(world_->mutex);
        if (world_->permissions.screenCapture) {
            std::vector<platform::ShareableWindow> shareable;
            for (const Window* window : windowsOnScreen(*world_)) {
                if (!window->info.number) continue;
                shareable.push_back({*window->info.number,
                                     window->info.bounds.value_or(platform::Rect{}),
                                     window->scale});
            }
            outcome = std::move(shareable);
        }
    }
    done(std::move(outcome));
}

void SimScreenCapture::captureWindow(std::uint32_t windowID, std::uint32_t width,
                                     std::uint32_t height,
                                     std::function<void(platform::Outcome<platform::Image>)> done) {
    platform::Outcome<WindowImage> picture = [&] {
        std::lock_guard lock(world_->mutex);
        return pictureOf(*world_, windowID);
    }();
    if (const auto* error = std::get_if<Error>(&picture)) {
        done(*error);
        return;
    }
    platform::PngImages images;
    auto image = renderImage(std::get<WindowImage>(picture), images);
    if (!image) {
        done(Error("Lumora.Sim", 4, "Cannot read the image of " + windowName(windowID)));
        return;
    }
    done(platform::scaledTo(*image, std::max<std::uint32_t>(width, 1),
                            std::max<std::uint32_t>(height, 1)));
}

std::unique_ptr<platform::ChildProcess> SimScreenCapture::makeProcess(
    const std::string& executable, const std::vector<std::string>& arguments) {
    return makeSimProcess(world_, executable, arguments);
}

}  // namespace lumora::sim
