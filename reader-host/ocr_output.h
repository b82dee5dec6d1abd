// Diagnostic output of a page OCR: the crop as "book-area.png" and the returned text as
// "ocr.txt", in a private subdirectory named after the request.
#pragma once

#include <string>
#include <string_view>

#include "platform/images.h"

namespace lumora::ReaderHost {

inline constexpr std::string_view outputVariable = "LUMORA_READER_OUTPUT";
inline constexpr std::string_view cannotSaveCrop = "Cannot save crop";

// Creates `root`/`requestId` (mode 0700, parents included) and writes both files; returns the
// directory's path. Files written before a failure stay. Throws "Cannot save crop" when the
// image cannot be written, and the system's description for the other failures.
std::string writeOcrOutput(const std::string& root, std::string_view requestId,
                           const platform::Image& crop, std::string_view text,
                           platform::Images& images);

}  // namespace lumora::ReaderHost
