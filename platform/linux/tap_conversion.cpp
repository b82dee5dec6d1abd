#include "platform/linux/tap_conversion.h"

#include "runtime/error.h"

namespace lumora::platform {

std::vector<float> TapConversion::add(const AudioBuffer& buffer) {
    if (converter_ && buffer.format == format_) return converter_->convert(buffer);
    std::vector<float> converted = finish();
    converter_ = conversion_.createConverter(buffer.format);
    if (!converter_) throw Error("Lumora", 3, SoxrConversion::failedDescription);
    format_ = buffer.format;
    std::vector<float> samples = converter_->convert(buffer);
    converted.insert(converted.end(), samples.begin(), samples.end());
    return converted;
}

std::vector<float> TapConversion::finish() {
    return converter_ ? converter_->flush() : std::vector<float>{};
}

}  // namespace lumora::platform
