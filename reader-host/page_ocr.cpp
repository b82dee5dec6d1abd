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

// The page's pixels. The screenshot is decoded and checked in full before any of its
// geometry is judged, so that a damaged file is reported as such whatever the region, but only
// the crop's pixels are ever held. The PNG bytes take the data URL's place.
platform::Image pageCrop(Request& request, platform::Images& images, PageRecognizer& recognizer) {
    const Viewport& viewport = *request.viewport;
    const auto png = base64::decodeInPlace(std::move(*request.png), pngDataUrlPrefix.size());
    if (!png) throw failure(invalidPng);
    const auto size = images.properties(*png);
    if (!size || !acceptableSize(*size)) throw failure(invalidPng);
    const auto [width, height] = *size;
    const bool scaled = scalesMatch(width, height, viewport);
    const auto rectangle =
        scaled ? cropRectangle(*request.region, viewport, width, height) : std::nullopt;
    // Recognition gets ready while the screenshot decodes, once the request looks bound for it.
    if (rectangle) recognizer.prepare();
    // With no rectangle to keep, the empty one still has every row checked.
    auto crop = images.decodeCrop(*png, rectangle.value_or(platform::PixelRect{}));
    if (!crop) throw failure(invalidPng);
    if (!scaled) throw failure(scaleMismatch);
    if (!rectangle || crop->rgba.empty()) throw failure(invalidCrop);
    return std::move(*crop);
}

}  // namespace

json::Document pageOcr(Request request, PageOcrServices services) {
    if (!request.region || !request.viewport || !request.png) throw failure(invalidOcrRequest);
    const std::string& dataUrl = *request.png;
    if (!dataUrl.starts_with(pngDataUrlPrefix) || !withinDataUrlLimit(dataUrl))
        throw failure(invalidOcrRequest);
    if (!regionFitsViewport(*request.region, *request.viewport)) throw failure(cropExceedsViewport);
    const platform::Image crop = pageCrop(request, services.images, services.recognizer);

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
