#include "platform/linux/tesseract_recognition.h"

#include <algorithm>
#include <thread>

#include "platform/linux/tesseract_engine.h"
#include "runtime/error.h"

namespace lumora::platform {

std::size_t TesseractRecognition::enginesForThisComputer() {
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, maximumEngines);
}

TesseractRecognition::TesseractRecognition(std::string tessdataDirectory, std::size_t engines)
    : team_(engines, [directory = std::move(tessdataDirectory)] {
          return std::make_unique<TesseractEngine>(directory);
      }) {}

void TesseractRecognition::prepare() {
    team_.startAhead();
}

std::vector<TextObservation> TesseractRecognition::recognize(const Image& image,
                                                             std::stop_token stop) {
    if (stop.stop_requested()) throw Cancelled();
    if (image.rgba.size() != std::uint64_t{image.width} * image.height * 4)
        throw Error(std::string(errorDomain), failedCode, std::string(failedDescription));
    if (image.width == 0 || image.height == 0) return {};
    return team_.read(darkTextOnLight(image), stop);
}

}  // namespace lumora::platform
