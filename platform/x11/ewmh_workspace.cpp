#include "platform/x11/ewmh_workspace.h"

#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "platform/linux/desktop_entries.h"
#include "platform/linux/posix_child_process.h"
#include "platform/linux/url_scheme.h"
#include "platform/x11/ewmh_windows.h"

namespace lumora::x11 {

namespace {

// _NET_ACTIVE_WINDOW's source indication for a pager or task switcher acting for the user,
// which window managers honour without their focus-stealing prevention.
constexpr std::uint32_t requestFromPager = 2;

// /proc/PID/stat holds "PID (COMMAND) STATE ..."; the command may itself contain ")".
std::optional<char> processState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return std::nullopt;
    std::size_t end = line.rfind(')');
    if (end == std::string::npos || end + 2 >= line.size()) return std::nullopt;
    return line[end + 2];
}

std::optional<platform::DesktopEntry> matchingEntry(const std::optional<std::string>& applicationId,
                                                    const std::vector<std::string>& windowClass) {
    if (applicationId) {
        if (auto entry = platform::findDesktopEntry(*applicationId)) return entry;
    }
    for (const std::string& name : windowClass) {
        if (auto entry = platform::findDesktopEntry(name)) return entry;
    }
    return std::nullopt;
}

}  // namespace

platform::RunningApplication EwmhWorkspace::application(WindowId window, pid_t pid) {
    {
        std::lock_guard lock(describedMutex_);
        auto known = described_.find(pid);
        // A process id is reused only once its process is gone.
        if (known != described_.end() && !isTerminated(pid)) return known->second;
    }
    platform::RunningApplication app = describe(window, pid);
    std::lock_guard lock(describedMutex_);
    described_[pid] = app;
    return app;
}

platform::RunningApplication EwmhWorkspace::describe(WindowId window, pid_t pid) {
    std::vector<std::string> windowClass = connection_->strings(window, "WM_CLASS");
    platform::RunningApplication app{pid, std::nullopt, std::nullopt};
    if (auto entry = matchingEntry(connection_->text(window, "_GTK_APPLICATION_ID"), windowClass)) {
        app.bundleIdentifier = entry->id;
        if (!entry->name.empty()) app.localizedName = entry->name;
    }
    if (!app.localizedName && windowClass.size() >= 2) app.localizedName = windowClass[1];
    if (!app.bundleIdentifier && !windowClass.empty()) app.bundleIdentifier = windowClass[0];
    return app;
}

std::optional<platform::RunningApplication> EwmhWorkspace::frontmostApplication() {
    std::vector<WindowId> active =
        connection_->values(connection_->root(), "_NET_ACTIVE_WINDOW", "WINDOW");
    if (active.empty() || active.front() == XCB_WINDOW_NONE) return std::nullopt;
    pid_t pid = windowOwner(*connection_, active.front());
    if (pid == 0) return std::nullopt;
    return application(active.front(), pid);
}

std::vector<platform::RunningApplication> EwmhWorkspace::runningApplications() {
    std::vector<platform::RunningApplication> running;
    for (WindowId window : connection_->values(connection_->root(), "_NET_CLIENT_LIST", "WINDOW")) {
        pid_t pid = windowOwner(*connection_, window);
        bool listed = std::any_of(running.begin(), running.end(),
                                  [pid](const auto& app) { return app.pid == pid; });
        if (pid != 0 && !listed) running.push_back(application(window, pid));
    }
    return running;
}

bool EwmhWorkspace::isTerminated(pid_t pid) {
    if (pid <= 0) return true;
    std::optional<char> state = processState(pid);
    return !state || *state == 'Z' || *state == 'X';
}

bool EwmhWorkspace::activate(pid_t pid) {
    if (pid <= 0) return false;
    std::vector<WindowId> windows = clientWindowsFrontToBack(*connection_);
    auto topmost = std::find_if(windows.begin(), windows.end(), [&](WindowId window) {
        return windowOwner(*connection_, window) == pid;
    });
    if (topmost == windows.end()) return false;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = *topmost;
    message.type = connection_->atom("_NET_ACTIVE_WINDOW");
    message.data.data32[0] = requestFromPager;
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_connection_t* connection = connection_->raw();
    Reply<xcb_generic_error_t> error(xcb_request_check(
        connection, xcb_send_event_checked(
                        connection, 0, connection_->root(),
                        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                        reinterpret_cast<const char*>(&message))));
    return !error && connection_->alive();
}

bool EwmhWorkspace::openURL(const std::string& url) {
    return platform::hasUrlScheme(url) && platform::spawnDetached("xdg-open", {url});
}

pid_t EwmhWorkspace::parentProcessId() {
    return ::getppid();
}

std::optional<std::string> EwmhWorkspace::applicationExecutable(
    const std::string& bundleIdentifier) {
    std::optional<platform::DesktopEntry> entry = platform::findDesktopEntry(bundleIdentifier);
    if (!entry) return std::nullopt;
    return platform::entryExecutable(*entry);
}

}  // namespace lumora::x11
