#include "platform/x11/x11_desktop.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <fstream>

#include "platform/linux/linux_system.h"
#include "platform/linux/on_device_speech.h"
#include "platform/linux/pulse_audio.h"
#include "platform/linux/server_language_model.h"
#include "platform/x11/accessibility_bus_status.h"
#include "platform/x11/atspi_accessibility.h"
#include "platform/x11/atspi_thread.h"
#include "platform/x11/ewmh_windows.h"
#include "platform/x11/ewmh_workspace.h"
#include "platform/x11/primary_loan.h"
#include "platform/x11/selection_handoff.h"
#include "platform/x11/window_paste.h"
#include "platform/x11/x11_clipboard.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_keyboard.h"
#include "platform/x11/x11_permissions.h"
#include "platform/x11/x11_screen_capture.h"

namespace lumora::x11 {

namespace {

// The logic gates features on the macOS release that brought them; this desktop offers those
// of macOS 27: the Assistant, screen context, and window images for a served model that takes
// them (still only when the user enables vision). The version text names the real system, for
// the audit records.
platform::OsVersion reportedVersion() {
    std::string name = "Linux";
    std::ifstream release("/etc/os-release");
    for (std::string line; std::getline(release, line);) {
        constexpr std::string_view key = "PRETTY_NAME=";
        if (line.rfind(key, 0) != 0) continue;
        name = line.substr(key.size());
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
            name = name.substr(1, name.size() - 2);
        }
    }
    utsname kernel{};
    if (uname(&kernel) == 0) name += std::string(" (kernel ") + kernel.release + ")";
    return {27, 0, 0, name};
}

std::optional<std::string> environmentVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

// The window server's rectangle for a process's window with the title its toolkit gives it.
std::optional<platform::Rect> windowOf(platform::Windows& windows, pid_t pid,
                                       const std::string& title) {
    for (const platform::WindowInfo& window : windows.onScreenWindows()) {
        if (window.ownerPid == pid && window.name == title) return window.bounds;
    }
    return std::nullopt;
}

}  // namespace

struct X11Desktop::Services {
    Services(std::shared_ptr<X11Connection> display, EventLoop& mainLoop)
        : display(std::move(display)),
          workspace(this->display),
          windows(this->display),
          screenCapture(this->display),
          accessibility(atspi, busStatus,
                        [this](pid_t pid, const std::string& title) {
                            return windowOf(windows, pid, title);
                        }),
          permissions(
              busStatus, *atspi, [connection = this->display] { return connection->alive(); },
              [this] { return audio.hasInput(); }, [this] { return speech->modelLoads(); }),
          system(reportedVersion()),
          primary(mainLoop),
          windowPaste(
              this->display, [this] { return accessibility.focusedTerminal(); }, pasteboard,
              primary),
          keyboard(this->display, mainLoop, windowPaste) {}

    std::shared_ptr<X11Connection> display;
    EwmhWorkspace workspace;
    EwmhWindows windows;
    X11ScreenCapture screenCapture;
    std::shared_ptr<AtspiThread> atspi = std::make_shared<AtspiThread>();
    AccessibilityBusStatus busStatus;
    AtspiAccessibility accessibility;
    X11Permissions permissions;
    platform::LinuxSystem system;
    X11Clipboard pasteboard;
    PrimaryLoan primary;
    WindowPaste windowPaste;
    X11Keyboard keyboard;
    platform::PulseAudio audio;
    std::unique_ptr<platform::OnDeviceSpeech> speech =
        platform::chooseOnDeviceSpeech(environmentVariable);
    platform::ServerLanguageModel languageModel{platform::modelServerSettings(environmentVariable)};
};

std::unique_ptr<X11Desktop> X11Desktop::open(EventLoop& mainLoop) {
    return std::unique_ptr<X11Desktop>(
        new X11Desktop(std::make_unique<Services>(X11Connection::open(), mainLoop)));
}

X11Desktop::X11Desktop(std::unique_ptr<Services> services) : services_(std::move(services)) {}
X11Desktop::~X11Desktop() = default;

platform::Accessibility& X11Desktop::accessibility() {
    return services_->accessibility;
}
platform::Workspace& X11Desktop::workspace() {
    return services_->workspace;
}
platform::Windows& X11Desktop::windows() {
    return services_->windows;
}
platform::ScreenCapture& X11Desktop::screenCapture() {
    return services_->screenCapture;
}
platform::Permissions& X11Desktop::permissions() {
    return services_->permissions;
}
platform::Keyboard& X11Desktop::keyboard() {
    return services_->keyboard;
}
platform::Pasteboard& X11Desktop::pasteboard() {
    return services_->pasteboard;
}
platform::Audio& X11Desktop::audio() {
    return services_->audio;
}
platform::Speech& X11Desktop::speech() {
    return *services_->speech;
}

void X11Desktop::handOnSelections() {
    services_->primary.returnNow();
    std::vector<HeldSelection> held;
    if (std::optional<HeldItem> item = services_->pasteboard.held()) {
        held.push_back({"CLIPBOARD", std::move(*item)});
    }
    if (std::optional<HeldItem> item = services_->primary.held()) {
        held.push_back({"PRIMARY", std::move(*item)});
    }
    if (!held.empty()) x11::handOnSelections(std::move(held));
}

platform::Ports X11Desktop::ports(platform::TextRecognition& textRecognition,
                                  platform::Images& images,
                                  platform::AudioConversion& audioConversion) {
    Services& s = *services_;
    return {s.accessibility, s.workspace, s.windows,       s.pasteboard,    s.keyboard,
            s.permissions,   *s.speech,   s.audio,         audioConversion, s.screenCapture,
            textRecognition, images,      s.languageModel, s.system};
}

}  // namespace lumora::x11
