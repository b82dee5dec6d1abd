// The geometry of a page crop: the region the extension marked (CSS pixels, origin top-left)
// must lie in the viewport, the screenshot must be the viewport uniformly scaled, and the
// region scaled into the screenshot, made integral, must lie in the screenshot.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/images.h"
#include "reader-host/request.h"

namespace lumora::ReaderHost {

// Every number finite, sizes positive, the origin not negative, and the far edges at most one
// pixel beyond the viewport (the page rounds its own coordinates).
bool regionFitsViewport(const Rect& region, const Viewport& viewport);

// False when the horizontal and vertical scales differ by 0.03 or more.
bool scalesMatch(std::uint64_t pixelWidth, std::uint64_t pixelHeight, const Viewport& viewport);

// The region in screenshot pixels with its origin rounded down and its far edges rounded up;
// none unless that rectangle lies inside the pixelWidth x pixelHeight screenshot.
std::optional<platform::PixelRect> cropRectangle(const Rect& region, const Viewport& viewport,
                                                 std::uint64_t pixelWidth,
                                                 std::uint64_t pixelHeight);

}  // namespace lumora::ReaderHost
