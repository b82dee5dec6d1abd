// Whether the Lumora app is installed: the executable named by the app-path file the app
// writes, or else the executable of the application registered under the app's bundle
// identifier, counts when it is a real executable file outside any Trash folder.
#pragma once

#include <string>
#include <string_view>

#include "platform/system.h"
#include "platform/workspace.h"

namespace lumora::ReaderHost {

inline constexpr std::string_view appBundleIdentifier = "com.vantor.app";

std::string appPathFile(const std::string& homeDirectory);

// Symbolic links are resolved first, so a link into a Trash folder does not count either.
bool installedExecutable(const std::string& path);

// `workspace` is null where the platform has no registry of installed applications.
bool appInstalled(platform::System& system, platform::Workspace* workspace);

}  // namespace lumora::ReaderHost
