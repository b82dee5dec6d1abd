// Where the rows libpng decodes go, one full-width RGBA row at a time: straight into a whole
// image, or through a scratch row of which only a crop's columns are kept, so that a small crop
// of a large screenshot never needs the whole screenshot's memory.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/images.h"

namespace lumora::platform {

// Called from inside libpng's setjmp frame, so neither member allocates nor throws: every
// buffer exists before decoding starts.
class RowTarget {
  public:
    virtual ~RowTarget() = default;
    // Where libpng writes row `y` of the current pass, `width` x 4 bytes.
    virtual std::uint8_t* row(std::uint32_t y) = 0;
    // Row `y` of the current pass has been written.
    virtual void rowRead(std::uint32_t y) = 0;
};

class WholeImageRows final : public RowTarget {
  public:
    // `image` already has its size and pixel storage.
    explicit WholeImageRows(Image& image) : image_(image) {}
    std::uint8_t* row(std::uint32_t y) override;
    void rowRead(std::uint32_t) override {}

  private:
    Image& image_;
};

class CropRows final : public RowTarget {
  public:
    // A rectangle that is empty or not inside the width x height image keeps nothing.
    CropRows(std::uint32_t width, std::uint32_t height, bool interlaced, PixelRect rect);
    std::uint8_t* row(std::uint32_t y) override;
    void rowRead(std::uint32_t y) override;
    // The crop, once every row of every pass has been read.
    Image finish() &&;

  private:
    bool inCrop(std::uint32_t y) const;
    void keepColumns(const std::uint8_t* from, std::uint32_t cropRow);

    std::size_t rowBytes_;
    bool interlaced_;
    std::uint32_t left_ = 0;
    std::uint32_t top_ = 0;
    Image crop_;
    std::vector<std::uint8_t> scratch_;
    // Each pass of an interlaced image fills in only some pixels of a row, so there every row
    // of the crop keeps a full-width row of its own until the last pass is done.
    std::vector<std::uint8_t> band_;
};

}  // namespace lumora::platform
