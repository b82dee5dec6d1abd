// The workspace: running applications, the frontmost one, activation and opening URLs.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace lumora::platform {

// A running application as the workspace reports it; two are the same application when their
// process ids are equal.
struct RunningApplication {
    pid_t pid = 0;
    std::optional<std::string> localizedName;
    std::optional<std::string> bundleIdentifier;
    bool operator==(const RunningApplication&) const = default;
};

class Workspace {
  public:
    virtual ~Workspace() = default;

    // Makes this process an invisible application: no Dock icon, never active.
    virtual void prohibitActivation() = 0;
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    virtual std::vector<RunningApplication> runningApplications() = 0;
    virtual bool isTerminated(pid_t pid) = 0;
    // Activates the application without options; false when the platform refuses.
    virtual bool activate(pid_t pid) = 0;
    // False when no URL can be formed from the text or nothing opens it.
    virtual bool openURL(const std::string& url) = 0;
    virtual pid_t parentProcessId() = 0;
    // The executable of the application installed under `bundleIdentifier`, if any.
    virtual std::optional<std::string> applicationExecutable(
        const std::string& bundleIdentifier) = 0;
};

}  // namespace lumora::platform
