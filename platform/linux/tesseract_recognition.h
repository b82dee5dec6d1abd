// On-device text recognition with Tesseract's LSTM engine and its English model, tuned for
// speed and verbatim text: the page is laid out once, then its lines are read in parallel by a
// team of engines, one per core (at most `maximumEngines`), each started at first use (the
// first one when a recognition is announced) and reused. One recognition at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/linux/engine_team.h"
#include "platform/text_recognition.h"

namespace lumora::platform {

class TesseractRecognition final : public TextRecognition {
  public:
    static constexpr std::string_view errorDomain = "Lumora.ScreenText";
    static constexpr int unavailableCode = 5;
    static constexpr std::string_view unavailableDescription =
        "Screen text recognition is not available on this computer.";
    static constexpr int failedCode = 6;
    static constexpr std::string_view failedDescription = "Could not read the text in the image.";
    // Every engine holds its own copy of the model (about 11 MiB resident).
    static constexpr std::size_t maximumEngines = 4;

    // One engine per core, up to `maximumEngines`.
    static std::size_t enginesForThisComputer();

    // `tessdataDirectory` holds eng.traineddata; empty means the usual places: TESSDATA_PREFIX,
    // then where Debian installs it.
    explicit TesseractRecognition(std::string tessdataDirectory = {},
                                  std::size_t engines = enginesForThisComputer());

    // Lines in the engine's order (blocks, then lines within a block), each with its text
    // without the line break and its box normalised to the image, origin at the bottom-left.
    std::vector<TextObservation> recognize(const Image& image, std::stop_token stop) override;
    // Starts one engine, if none has started yet.
    void prepare() override;

  private:
    EngineTeam team_;
};

}  // namespace lumora::platform
