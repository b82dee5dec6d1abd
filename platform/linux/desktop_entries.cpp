#include "platform/linux/desktop_entries.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace lumora::platform {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view entrySuffix = ".desktop";

std::string environmentOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

std::vector<std::string> splitAt(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start) parts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::vector<fs::path> applicationFolders() {
    std::vector<fs::path> folders;
    std::string home = environmentOr("HOME", "");
    std::string dataHome =
        environmentOr("XDG_DATA_HOME", home.empty() ? "" : home + "/.local/share");
    if (!dataHome.empty()) folders.push_back(fs::path(dataHome) / "applications");
    for (const std::string& folder :
         splitAt(environmentOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), ':')) {
        folders.push_back(fs::path(folder) / "applications");
    }
    return folders;
}

bool equalIgnoringCase(std::string_view left, std::string_view right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

std::optional<fs::path> entryFile(std::string_view id) {
    for (const fs::path& folder : applicationFolders()) {
        std::error_code error;
        for (const fs::directory_entry& file : fs::directory_iterator(folder, error)) {
            std::string name = file.path().filename().string();
            if (name.size() > entrySuffix.size() && name.ends_with(entrySuffix) &&
                equalIgnoringCase(
                    std::string_view(name).substr(0, name.size() - entrySuffix.size()), id)) {
                return file.path();
            }
        }
    }
    return std::nullopt;
}

// The keys of the [Desktop Entry] group; none when the file has no such group.
std::optional<DesktopEntry> readEntry(const fs::path& file) {
    std::ifstream in(file);
    DesktopEntry entry{file.stem().string(), {}, {}};
    bool inGroup = false;
    bool found = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with('[')) {
            inGroup = line == "[Desktop Entry]";
            found = found || inGroup;
            continue;
        }
        if (!inGroup) continue;
        if (line.starts_with("Name=")) entry.name = line.substr(5);
        if (line.starts_with("Exec=")) entry.exec = line.substr(5);
    }
    if (!found) return std::nullopt;
    return entry;
}

// The first word of an Exec line: up to the first space, or a double-quoted word in which a
// backslash escapes the next character.
std::string programWord(std::string_view exec) {
    if (!exec.starts_with('"')) return std::string(exec.substr(0, exec.find(' ')));
    std::string word;
    for (std::size_t index = 1; index < exec.size() && exec[index] != '"'; ++index) {
        if (exec[index] == '\\' && index + 1 < exec.size()) ++index;
        word += exec[index];
    }
    return word;
}

bool isExecutableFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<DesktopEntry> findDesktopEntry(std::string_view id) {
    if (id.empty()) return std::nullopt;
    std::optional<fs::path> file = entryFile(id);
    if (!file) return std::nullopt;
    return readEntry(*file);
}

std::optional<std::string> entryExecutable(const DesktopEntry& entry) {
    std::string program = programWord(entry.exec);
    if (program.empty()) return std::nullopt;
    if (program.find('/') != std::string::npos) {
        if (isExecutableFile(program)) return program;
        return std::nullopt;
    }
    for (const std::string& folder : splitAt(environmentOr("PATH", "/usr/bin:/bin"), ':')) {
        fs::path candidate = fs::path(folder) / program;
        if (isExecutableFile(candidate)) return candidate.string();
    }
    return std::nullopt;
}

}  // namespace lumora::platform
