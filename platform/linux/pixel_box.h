// A rectangle of whole pixels, top-left origin; right and bottom lie just outside it.
#pragma once

namespace lumora::platform {

struct PixelBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const PixelBox&) const = default;
};

}  // namespace lumora::platform
