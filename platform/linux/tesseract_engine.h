// One Tesseract LSTM engine with its English model, tuned for speed and verbatim text:
// automatic page segmentation (columns stay apart), no dictionary correction. It belongs to the
// thread that uses it, one call at a time.
#pragma once

#include <memory>
#include <string>

#include "platform/linux/page_engine.h"

namespace tesseract {
class TessBaseAPI;
}

namespace lumora::platform {

class TesseractEngine final : public PageEngine {
  public:
    // Loads the model (100-190 ms); throws the port's "unavailable" error when it cannot.
    // `tessdataDirectory` holds eng.traineddata; empty means the usual places: TESSDATA_PREFIX,
    // then where Debian installs it.
    explicit TesseractEngine(const std::string& tessdataDirectory);
    ~TesseractEngine() override;

    PageLayout layout(const GreyImage& page) override;
    std::vector<std::string> lineWords(const GreyImage& piece, std::stop_token stop) override;
    std::vector<TextObservation> wholePage(const GreyImage& page, std::stop_token stop) override;

  private:
    void recognise(const GreyImage& image, std::stop_token stop);

    std::unique_ptr<tesseract::TessBaseAPI> api_;
};

}  // namespace lumora::platform
