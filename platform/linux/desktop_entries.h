// Desktop entries: the .desktop files that describe installed applications, found by their id
// (the file name without ".desktop") in the XDG applications folders, with the few keys Lumora
// reads. Entries in subfolders of those folders are not looked at.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumora::platform {

struct DesktopEntry {
    std::string id;
    // The untranslated "Name" key.
    std::string name;
    // The "Exec" key: the program and its arguments, with field codes such as %U.
    std::string exec;
};

// The entry whose id equals `id` ignoring case, from the first folder that has one: the user's
// ($XDG_DATA_HOME) before the system's ($XDG_DATA_DIRS). None when no folder has it or it has no
// [Desktop Entry] group. Only folder listings are read apart from the one file found, so a
// lookup is cheap enough to make on every call.
std::optional<DesktopEntry> findDesktopEntry(std::string_view id);

// The full path of the program the entry's Exec line starts, looked up on PATH when it names no
// folder; none when it is not an executable file.
std::optional<std::string> entryExecutable(const DesktopEntry& entry);

}  // namespace lumora::platform
