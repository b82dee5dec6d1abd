// On-demand visual context: the source window, or a region the user drags out with the system's
// interactive tool. The picture is kept for a later request or starts generation at once.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "assistant/host/assistant.h"
#include "assistant/screen/window_capture.h"
#include "runtime/atomic_file.h"
#include "runtime/bridge.h"
#include "runtime/uuid.h"

namespace lumora {

namespace {

constexpr std::string_view screenContextUnsupported = "Screen context requires macOS 26 or later.";
constexpr std::string_view screenRecordingNeeded =
    "Enable Screen Recording in Lumora’s Permissions section, then hold Assistant again.";
constexpr std::string_view noOriginalWindow =
    "No original window is available. Select text or try again from the source window.";
constexpr std::string_view capturing = "Capturing your window…";
constexpr std::string_view captured = "Visual context captured";
constexpr std::string_view captureFailed = "Could not capture visual context: ";
constexpr const char* regionTool = "/usr/sbin/screencapture";

// What the platform says about a capture the user aborted or whose picture is unreadable.
Error captureCanceled() {
    return Error("Capture canceled", 1,
                 "The operation couldn’t be completed. (Capture canceled error 1.)");
}

// The region tool's scratch folder, removed with everything in it whatever happens.
class ScratchDirectory {
  public:
    explicit ScratchDirectory(const std::string& parent)
        : path_((std::filesystem::path(parent) / Uuid::random().string()).string()) {
        if (::mkdir(path_.c_str(), 0700) != 0) {
            int code = errno;
            path_.clear();
            throw Error("NSPOSIXErrorDomain", code, std::strerror(code));
        }
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string file(std::string_view name) const {
        return (std::filesystem::path(path_) / name).string();
    }

  private:
    std::string path_;
};

}  // namespace

void Assistant::captureScreen(bool region, std::optional<std::string> prompt) {
    if (!supportsScreenContext()) {
        event("error", screenContextUnsupported);
        return;
    }
    if (!ports_.permissions.screenCapturePreflight()) {
        event("error", screenRecordingNeeded);
        return;
    }
    std::optional<std::uint32_t> windowID =
        session_.target ? session_.target->windowID() : std::nullopt;
    if (!region && !windowID) {
        event("error", noOriginalWindow);
        return;
    }
    event("capturing_screen", capturing);
    // An earlier capture or generation of the same request goes on and may still deliver.
    work_.startGeneration(runScreenCapture(session_.id, region, windowID, std::move(prompt)));
}

Task<void> Assistant::runScreenCapture(std::uint64_t requestID, bool region,
                                       std::optional<std::uint32_t> windowID,
                                       std::optional<std::string> prompt) {
    const double start = ports_.system.uptime();
    std::optional<platform::Image> image;
    std::optional<std::string> failure;
    try {
        if (region) {
            image = co_await captureRegion();
        } else {
            image = co_await ScreenCapture::window(ports_.screenCapture, *windowID);
        }
    } catch (const Cancelled&) {
    } catch (const std::exception& error) {
        failure = error.what();
    }
    const bool current = !co_await isCancelled() && session_.id == requestID;
    if (current && image) {
        long elapsed = static_cast<long>((ports_.system.uptime() - start) * 1000);
        screenLog_.info("Capture completed in " + std::to_string(elapsed) + " ms");
        if (prompt) {
            generate(*prompt, std::move(image));
        } else {
            session_.screenImage = std::move(image);
            event("result", captured, session_.result);
        }
    } else if (current && failure) {
        event("error", std::string(captureFailed) + *failure);
    }
}

Task<platform::Image> Assistant::captureRegion() {
    ScratchDirectory scratch(ports_.system.temporaryDirectory());
    const std::string output = scratch.file("screen.png");
    std::shared_ptr<platform::ChildProcess> process =
        ports_.screenCapture.makeProcess(regionTool, {"-x", "-i", "-s", "-T", "0", output});
    co_await checkCancellation();
    RequestWork::Tracked tracked = work_.track(process);
    process->launch();
    auto awaitExit = [process](Completion<int> exited) {
        process->whenExited([exited](int status) { exited(status); });
    };
    int status = co_await callback<int>(std::move(awaitExit));
    std::optional<std::string> encoded = status == 0 ? files::readAll(output) : std::nullopt;
    std::optional<platform::Image> image = encoded ? ports_.images.decode(*encoded) : std::nullopt;
    if (!image) throw captureCanceled();
    co_return std::move(*image);
}

}  // namespace lumora
