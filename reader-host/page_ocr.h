// The "ocr" request: checks that the screenshot and the marked region agree, crops the page out
// of the screenshot and returns its text in reading order. Every size is checked before the
// work it bounds; in particular the screenshot's dimensions come from its header, so an image
// too large to handle is refused before a pixel of it is decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/images.h"
#include "reader-host/page_recognizer.h"
#include "reader-host/request.h"
#include "runtime/json.h"

namespace lumora::ReaderHost {

inline constexpr std::string_view pngDataUrlPrefix = "data:image/png;base64,";
inline constexpr std::size_t maxDataUrlCharacters = 27'999'999;
inline constexpr std::uint64_t maxScreenshotSide = 16'000;
inline constexpr std::uint64_t maxScreenshotPixels = 40'000'000;
inline constexpr std::size_t maxPageTextCharacters = 100'000;
inline constexpr std::string_view pageOcrEngine = "Apple Vision fast";

inline constexpr std::string_view invalidOcrRequest = "Invalid OCR request";
inline constexpr std::string_view cropExceedsViewport = "Crop exceeds viewport";
inline constexpr std::string_view invalidPng = "Invalid or oversized PNG";
inline constexpr std::string_view scaleMismatch = "Screenshot and viewport scale mismatch";
inline constexpr std::string_view invalidCrop = "Invalid image crop";
inline constexpr std::string_view noReadableText = "No readable text found in the page crop";

struct PageOcrServices {
    platform::Images& images;
    PageRecognizer& recognizer;
    // The diagnostic output directory, when one is configured.
    std::optional<std::string> outputRoot;
};

// Consumes the request's screenshot.
json::Document pageOcr(Request request, PageOcrServices services);

}  // namespace lumora::ReaderHost
