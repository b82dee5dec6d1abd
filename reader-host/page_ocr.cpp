#include "reader-host/page_ocr.h"

#include "reader-host/failure.h"
#include "reader-host/ocr_output.h"
#include "reader-host/page_geometry.h"
#include "reader-host/response.h"
#include "runtime/base64.h"
#include "runtime/text.h"
#include "screentext/reference_text.h"

namespace lumora::ReaderHost {
namespace {

bool withinDataUrlLimit(const std::string& url) {
    // Characters never outnumber bytes, so only an oversized byte count needs counting.
    return url.size() <= maxDataUrlCharacters || text::characterCount(url) <= maxDataUrlCharacters;
}

bool acceptableSize(const platform::ImageProperties& properties) {
    const std::uint64_t width = properties.pixelWidth;
    const std::uint64_t height = properties.pixelHeight;
    return width >= 1 && height >= 1 && width <= maxScreenshotSide && height <= maxScreenshotSide &&
           width * height <= maxScreenshotPixels;
}

struct Screenshot {
    platform::ImageProperties size;
    platform::Image image;
};

// Each stage of a large screenshot is released as soon as the next one exists, and the PNG
// bytes take the data URL's place, so that no stage needs more memory than it must.
Screenshot decodeScreenshot(std::string dataUrl, platform::Images& images) {
    const auto png = base64::decodeInPlace(std::move(dataUrl), pngDataUrlPrefix.size());
    if (!png) throw failure(invalidPng);
    const auto size = images.properties(*png);
    if (!size || !acceptableSize(*size)) throw failure(invalidPng);
    auto image = images.decode(*png);
    if (!image) throw failure(invalidPng);
    return {*size, std::move(*image)};
}

// The page's pixels; the whole screenshot is let go as soon as they are cut out of it.
platform::Image pageCrop(Request& request, platform::Images& images) {
    const Rect& region = *request.region;
    const Viewport& viewport = *request.viewport;
    const Screenshot screenshot = decodeScreenshot(std::move(*request.png), images);
    const auto [width, height] = screenshot.size;
    if (!scalesMatch(width, height, viewport)) throw failure(scaleMismatch);
    const auto rectangle = cropRectangle(region, viewport, width, height);
    auto crop = rectangle ? images.crop(screenshot.image, *rectangle) : std::nullopt;
    if (!crop) throw failure(invalidCrop);
    return std::move(*crop);
}

}  // namespace

json::Document pageOcr(Request request, PageOcrServices services) {
    if (!request.region || !request.viewport || !request.png) throw failure(invalidOcrRequest);
    const std::string& dataUrl = *request.png;
    if (!dataUrl.starts_with(pngDataUrlPrefix) || !withinDataUrlLimit(dataUrl))
        throw failure(invalidOcrRequest);
    if (!regionFitsViewport(*request.region, *request.viewport)) throw failure(cropExceedsViewport);
    const platform::Image crop = pageCrop(request, services.images);

    const auto lines = services.recognizer.recognizeLines(crop);
    if (lines.empty()) throw failure(noReadableText);

    json::Document response = successResponse(request.requestId);
    const std::string text = ScreenText::reference(lines, maxPageTextCharacters);
    response["text"] = text;
    response["lineCount"] = lines.size();
    response["width"] = crop.width;
    response["height"] = crop.height;
    response["engine"] = pageOcrEngine;
    if (services.outputRoot) {
        response["outputDirectory"] =
            writeOcrOutput(*services.outputRoot, request.requestId, crop, text, services.images);
    }
    return response;
}

}  // namespace lumora::ReaderHost
