#include "reader-host/app_installation.h"

#include <unistd.h>

#include <filesystem>

#include "runtime/atomic_file.h"
#include "runtime/text.h"

namespace lumora::ReaderHost {
namespace {

namespace fs = std::filesystem;

// The Trash of macOS (".Trash" in a home, ".Trashes" on a volume) and the freedesktop one
// (".local/share/Trash" in a home, ".Trash-<uid>" on a volume).
bool insideTrash(const fs::path& path) {
    std::string previous;
    std::string beforePrevious;
    for (const auto& part : path) {
        const std::string name = part.string();
        if (name == ".Trash" || name == ".Trashes" || name.starts_with(".Trash-")) return true;
        if (name == "Trash" && previous == "share" && beforePrevious == ".local") return true;
        beforePrevious = std::move(previous);
        previous = name;
    }
    return false;
}

}  // namespace

std::string appPathFile(const std::string& homeDirectory) {
    return homeDirectory + "/Library/Application Support/Lumora Reader/app-path";
}

bool installedExecutable(const std::string& path) {
    if (path.empty()) return false;
    std::error_code error;
    const fs::path resolved = fs::canonical(fs::absolute(path, error), error);
    if (error || insideTrash(resolved)) return false;
    return fs::is_regular_file(resolved, error) && ::access(resolved.c_str(), X_OK) == 0;
}

bool appInstalled(platform::System& system, platform::Workspace* workspace) {
    if (const auto contents = files::readAll(appPathFile(system.homeDirectory()));
        contents && text::isValidUtf8(*contents)) {
        if (installedExecutable(std::string(text::trimWhitespaceAndNewlines(*contents))))
            return true;
    }
    if (workspace == nullptr) return false;
    const auto executable = workspace->applicationExecutable(std::string(appBundleIdentifier));
    return executable && installedExecutable(*executable);
}

}  // namespace lumora::ReaderHost
