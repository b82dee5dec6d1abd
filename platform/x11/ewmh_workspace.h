// The workspace on an X desktop: its applications are the processes that own the window
// manager's client windows (EWMH _NET_CLIENT_LIST and _NET_WM_PID), the frontmost one owns the
// active window, and activating one asks the window manager to activate its topmost window.
// An application's name and stable identifier come from its desktop entry when one matches its
// window, from its window's WM_CLASS otherwise (see application()).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/workspace.h"
#include "platform/x11/x11_connection.h"

namespace lumora::x11 {

class EwmhWorkspace final : public platform::Workspace {
  public:
    explicit EwmhWorkspace(std::shared_ptr<X11Connection> connection)
        : connection_(std::move(connection)) {}

    // Nothing to do: this process opens no window, so there is nothing the window manager
    // could list or activate, and no Dock to stay out of.
    void prohibitActivation() override {}
    std::optional<platform::RunningApplication> frontmostApplication() override;
    // One entry per process, in the order the window manager first mapped their windows.
    std::vector<platform::RunningApplication> runningApplications() override;
    // True when the process no longer exists or has exited and waits to be reaped (a zombie).
    bool isTerminated(pid_t pid) override;
    // Sends the EWMH _NET_ACTIVE_WINDOW request for the process's topmost client window, as a
    // task switcher does; false when it has none or the request cannot be sent. The window
    // manager carries it out shortly after.
    bool activate(pid_t pid) override;
    // Hands a URL with a scheme to xdg-open, which outlives the call.
    bool openURL(const std::string& url) override;
    pid_t parentProcessId() override;
    // The program the desktop entry of that id starts, found on PATH.
    std::optional<std::string> applicationExecutable(const std::string& bundleIdentifier) override;

  private:
    // The name is the desktop entry's Name and the identifier its id when an entry matches;
    // otherwise they are the WM_CLASS class and instance. An entry matches when its id equals
    // the GTK application id of the window (which names the entry by convention), or the
    // WM_CLASS instance or class ignoring case.
    // Described once per process: the frontmost application is asked for on every streamed
    // snapshot, and a running process keeps its name.
    platform::RunningApplication application(WindowId window, pid_t pid);
    platform::RunningApplication describe(WindowId window, pid_t pid);

    std::shared_ptr<X11Connection> connection_;
    std::mutex describedMutex_;
    std::map<pid_t, platform::RunningApplication> described_;
};

}  // namespace lumora::x11
