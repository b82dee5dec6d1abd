// On-device text recognition with Tesseract's LSTM engine and its English model, tuned for
// speed and verbatim text: automatic page segmentation (columns stay apart), no dictionary
// correction, one engine created at first use and reused, one recognition at a time.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/text_recognition.h"

namespace tesseract {
class TessBaseAPI;
}

namespace lumora::platform {

class TesseractRecognition final : public TextRecognition {
  public:
    static constexpr std::string_view errorDomain = "Lumora.ScreenText";
    static constexpr int unavailableCode = 5;
    static constexpr std::string_view unavailableDescription =
        "Screen text recognition is not available on this computer.";
    static constexpr int failedCode = 6;
    static constexpr std::string_view failedDescription = "Could not read the text in the image.";

    // `tessdataDirectory` holds eng.traineddata; empty means the usual places: TESSDATA_PREFIX,
    // then where Debian installs it.
    explicit TesseractRecognition(std::string tessdataDirectory = {});
    ~TesseractRecognition() override;

    // Lines in the engine's order (blocks, then lines within a block), each with its text
    // without the line break and its box normalised to the image, origin at the bottom-left.
    std::vector<TextObservation> recognize(const Image& image, std::stop_token stop) override;

  private:
    tesseract::TessBaseAPI& engine();

    std::string tessdataDirectory_;
    std::mutex mutex_;
    std::unique_ptr<tesseract::TessBaseAPI> engine_;
};

}  // namespace lumora::platform
