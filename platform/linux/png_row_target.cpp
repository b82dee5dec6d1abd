#include "platform/linux/png_row_target.h"

#include <cstring>

namespace lumora::platform {
namespace {

bool inside(PixelRect rect, std::uint32_t width, std::uint32_t height) {
    return rect.width > 0 && rect.height > 0 && rect.x >= 0 && rect.y >= 0 &&
           rect.x <= std::int64_t{width} - rect.width &&
           rect.y <= std::int64_t{height} - rect.height;
}

}  // namespace

std::uint8_t* WholeImageRows::row(std::uint32_t y) {
    return image_.rgba.data() + std::size_t{y} * image_.width * 4;
}

CropRows::CropRows(std::uint32_t width, std::uint32_t height, bool interlaced, PixelRect rect)
    : rowBytes_(std::size_t{width} * 4), interlaced_(interlaced), scratch_(rowBytes_) {
    if (!inside(rect, width, height)) return;
    left_ = static_cast<std::uint32_t>(rect.x);
    top_ = static_cast<std::uint32_t>(rect.y);
    crop_.width = static_cast<std::uint32_t>(rect.width);
    crop_.height = static_cast<std::uint32_t>(rect.height);
    crop_.rgba.resize(std::size_t{crop_.width} * crop_.height * 4);
    if (interlaced_) band_.resize(rowBytes_ * crop_.height);
}

bool CropRows::inCrop(std::uint32_t y) const {
    return y >= top_ && y - top_ < crop_.height;
}

std::uint8_t* CropRows::row(std::uint32_t y) {
    if (interlaced_ && inCrop(y)) return band_.data() + (y - top_) * rowBytes_;
    return scratch_.data();
}

void CropRows::rowRead(std::uint32_t y) {
    if (!interlaced_ && inCrop(y)) keepColumns(scratch_.data(), y - top_);
}

Image CropRows::finish() && {
    if (interlaced_) {
        for (std::uint32_t row = 0; row < crop_.height; ++row)
            keepColumns(band_.data() + row * rowBytes_, row);
    }
    return std::move(crop_);
}

void CropRows::keepColumns(const std::uint8_t* from, std::uint32_t cropRow) {
    const std::size_t bytes = std::size_t{crop_.width} * 4;
    std::memcpy(crop_.rgba.data() + cropRow * bytes, from + std::size_t{left_} * 4, bytes);
}

}  // namespace lumora::platform
