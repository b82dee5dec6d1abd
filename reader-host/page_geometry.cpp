#include "reader-host/page_geometry.h"

#include <cmath>

namespace lumora::ReaderHost {
namespace {

constexpr double viewportSlack = 1;
constexpr double scaleTolerance = 0.03;

bool allFinite(std::initializer_list<double> values) {
    for (double value : values) {
        if (!std::isfinite(value)) return false;
    }
    return true;
}

}  // namespace

bool regionFitsViewport(const Rect& region, const Viewport& viewport) {
    return allFinite({region.x, region.y, region.width, region.height, viewport.width,
                      viewport.height}) &&
           region.width > 0 && region.height > 0 && viewport.width > 0 && viewport.height > 0 &&
           region.x >= 0 && region.y >= 0 &&
           region.x + region.width <= viewport.width + viewportSlack &&
           region.y + region.height <= viewport.height + viewportSlack;
}

bool scalesMatch(std::uint64_t pixelWidth, std::uint64_t pixelHeight, const Viewport& viewport) {
    const double sx = static_cast<double>(pixelWidth) / viewport.width;
    const double sy = static_cast<double>(pixelHeight) / viewport.height;
    return !(std::abs(sx - sy) >= scaleTolerance);
}

std::optional<platform::PixelRect> cropRectangle(const Rect& region, const Viewport& viewport,
                                                 std::uint64_t pixelWidth,
                                                 std::uint64_t pixelHeight) {
    const double sx = static_cast<double>(pixelWidth) / viewport.width;
    const double sy = static_cast<double>(pixelHeight) / viewport.height;
    // Scaled first, then made integral, as the rectangle functions of the platform do.
    const double x = region.x * sx;
    const double y = region.y * sy;
    const double left = std::floor(x);
    const double top = std::floor(y);
    const double right = std::ceil(x + region.width * sx);
    const double bottom = std::ceil(y + region.height * sy);
    // Written so that NaN, which an extreme scale can produce, fails every comparison.
    if (!(left >= 0 && top >= 0 && right <= static_cast<double>(pixelWidth) &&
          bottom <= static_cast<double>(pixelHeight) && right > left && bottom > top))
        return std::nullopt;
    return platform::PixelRect{static_cast<std::int64_t>(left), static_cast<std::int64_t>(top),
                               static_cast<std::int64_t>(right - left),
                               static_cast<std::int64_t>(bottom - top)};
}

}  // namespace lumora::ReaderHost
