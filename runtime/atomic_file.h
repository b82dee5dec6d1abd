// Files written whole or not at all: the bytes go to a temporary file beside the target,
// which is synced and renamed over it, so a reader never sees half a file.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace lumora::files {

// Creates `path` and missing parents with `mode`; true when the directory exists afterwards.
bool createDirectories(const std::string& path, mode_t mode);

// Replaces `path` atomically with `contents`, the new file carrying `mode`. False on failure,
// in which case the previous file is untouched.
bool replaceAtomically(const std::string& path, std::string_view contents, mode_t mode);

// The whole file, or none when it cannot be read.
std::optional<std::string> readAll(const std::string& path);

}  // namespace lumora::files
