// On-device text recognition: fast, without language correction.
#pragma once

#include <stop_token>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/images.h"

namespace lumora::platform {

// One recognised line: its top candidate and its box normalised to 0–1, bottom-left origin.
struct TextObservation {
    std::string text;
    Rect box;
    bool operator==(const TextObservation&) const = default;
};

class TextRecognition {
  public:
    virtual ~TextRecognition() = default;
    // Blocking; run it off the main thread. Throws lumora::Error on failure and Cancelled
    // when `stop` was requested.
    virtual std::vector<TextObservation> recognize(const Image& image, std::stop_token stop) = 0;
    // Says that a recognition is coming soon, so a recogniser that starts lazily can begin
    // getting ready while the caller prepares the image. Does not block.
    virtual void prepare() {}
};

}  // namespace lumora::platform
