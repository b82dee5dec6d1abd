// What one OCR engine does for a team that reads a page together: lay the page out, read one
// piece of a line, or read a whole page alone where its lines cannot be handed out.
#pragma once

#include <stop_token>
#include <string>
#include <vector>

#include "platform/linux/grey_image.h"
#include "platform/linux/page_layout.h"

namespace lumora::platform {

class PageEngine {
  public:
    virtual ~PageEngine() = default;
    virtual PageLayout layout(const GreyImage& page) = 0;
    // The words of one piece's picture, as cut by `lineImageBox`, in reading order.
    virtual std::vector<std::string> lineWords(const GreyImage& piece, std::stop_token stop) = 0;
    virtual std::vector<TextObservation> wholePage(const GreyImage& page, std::stop_token stop) = 0;
};

}  // namespace lumora::platform
