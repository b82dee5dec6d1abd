#include "platform/linux/tesseract_recognition.h"

#include <dlfcn.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <cstdlib>
#include <filesystem>

#include "runtime/error.h"

namespace lumora::platform {
namespace {

// Tesseract parallelises its LSTM with OpenMP, which on two cores makes recognition several
// times slower than one thread. OMP_THREAD_LIMIT cannot be set from inside the process:
// libgomp reads it while it loads, before main, and even a setenv from a preinit function is
// lost because libc's own initialisation resets the environment to the one the process
// started with. Allowing no active parallel level instead makes every parallel region the
// engine opens run on the calling thread alone. The setting belongs to the calling thread, so
// it is made before every run; it is looked up rather than linked, so that an engine built
// without OpenMP needs nothing.
void keepOpenMpOnThisThread() {
    using SetMaxActiveLevels = void (*)(int);
    static const auto setMaxActiveLevels =
        reinterpret_cast<SetMaxActiveLevels>(::dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (setMaxActiveLevels != nullptr) setMaxActiveLevels(0);
}

std::string findTessdata() {
    std::vector<std::filesystem::path> candidates;
    // Tesseract 4 and later take the variable to be the tessdata folder itself; 3 took its
    // parent. Both are still found in the wild.
    if (const char* prefix = std::getenv("TESSDATA_PREFIX"); prefix != nullptr && *prefix) {
        candidates.emplace_back(prefix);
        candidates.emplace_back(std::filesystem::path(prefix) / "tessdata");
    }
    for (const char* debian : {"/usr/share/tesseract-ocr/5/tessdata",
                               "/usr/share/tesseract-ocr/4.00/tessdata", "/usr/share/tessdata"})
        candidates.emplace_back(debian);
    for (const auto& candidate : candidates) {
        std::error_code ignored;
        if (std::filesystem::is_regular_file(candidate / "eng.traineddata", ignored))
            return candidate.string();
    }
    return {};
}

Error failure(int code, std::string_view description,
              std::map<std::string, std::string> extra = {}) {
    return Error(std::string(TesseractRecognition::errorDomain), code, std::string(description),
                 std::move(extra));
}

// Luminance, composited over white so that transparent margins read as paper. The engine
// expects dark text on a light background and, with its own inversion pass off (it doubles the
// time), a dark picture is inverted here instead.
std::vector<unsigned char> darkTextOnLight(const Image& image) {
    std::vector<unsigned char> grey(std::size_t{image.width} * image.height);
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < grey.size(); ++i) {
        const std::uint8_t* pixel = &image.rgba[i * 4];
        const unsigned luma = (299u * pixel[0] + 587u * pixel[1] + 114u * pixel[2]) / 1000u;
        const unsigned alpha = pixel[3];
        grey[i] = static_cast<unsigned char>((luma * alpha + 255u * (255u - alpha)) / 255u);
        total += grey[i];
    }
    if (total < std::uint64_t{128} * grey.size())
        for (auto& value : grey) value = static_cast<unsigned char>(255 - value);
    return grey;
}

Rect normalisedFromTopLeftPixels(int left, int top, int right, int bottom, const Image& image) {
    const double width = image.width;
    const double height = image.height;
    return Rect{left / width, 1.0 - bottom / height, (right - left) / width,
                (bottom - top) / height};
}

std::vector<TextObservation> readLines(tesseract::TessBaseAPI& engine, const Image& image) {
    std::vector<TextObservation> lines;
    const std::unique_ptr<tesseract::ResultIterator> line(engine.GetIterator());
    if (!line) return lines;
    constexpr auto level = tesseract::RIL_TEXTLINE;
    do {
        if (line->Empty(level)) continue;
        const std::unique_ptr<char[]> utf8(line->GetUTF8Text(level));
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!utf8 || !line->BoundingBox(level, &left, &top, &right, &bottom)) continue;
        std::string text(utf8.get());
        while (!text.empty() && text.back() == '\n') text.pop_back();
        if (text.empty()) continue;
        lines.push_back(
            {std::move(text), normalisedFromTopLeftPixels(left, top, right, bottom, image)});
    } while (line->Next(level));
    return lines;
}

bool stopRequested(void* stop, int /*words*/) {
    return static_cast<const std::stop_token*>(stop)->stop_requested();
}

// The engine keeps the last picture and its results until told otherwise; they are dropped
// after every run so that an idle engine holds only its model.
struct ClearAfterRun {
    ~ClearAfterRun() { engine.Clear(); }
    tesseract::TessBaseAPI& engine;
};

}  // namespace

TesseractRecognition::TesseractRecognition(std::string tessdataDirectory)
    : tessdataDirectory_(std::move(tessdataDirectory)) {}

TesseractRecognition::~TesseractRecognition() {
    if (engine_) engine_->End();
}

tesseract::TessBaseAPI& TesseractRecognition::engine() {
    if (engine_) return *engine_;
    const std::string directory = tessdataDirectory_.empty() ? findTessdata() : tessdataDirectory_;
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    // The engine narrates its work on standard error, which is this process's log.
    engine->SetVariable("debug_file", "/dev/null");
    // With the LSTM engine the ratings matrix is what applies the dictionary; the load_*_dawg
    // settings do not turn it off.
    const std::vector<std::string> names{"lstm_use_matrix", "tessedit_do_invert"};
    const std::vector<std::string> values{"0", "0"};
    if (directory.empty() || engine->Init(directory.c_str(), "eng", tesseract::OEM_LSTM_ONLY,
                                          nullptr, 0, &names, &values, false) != 0)
        throw failure(unavailableCode, unavailableDescription, {{"tessdata", directory}});
    engine->SetPageSegMode(tesseract::PSM_AUTO);
    engine_ = std::move(engine);
    return *engine_;
}

std::vector<TextObservation> TesseractRecognition::recognize(const Image& image,
                                                             std::stop_token stop) {
    if (stop.stop_requested()) throw Cancelled();
    if (image.rgba.size() != std::uint64_t{image.width} * image.height * 4)
        throw failure(failedCode, failedDescription);
    if (image.width == 0 || image.height == 0) return {};
    const auto grey = darkTextOnLight(image);

    const std::lock_guard lock(mutex_);
    auto& ocr = engine();
    // Waiting for another run or for the model to load may have outlasted the caller.
    if (stop.stop_requested()) throw Cancelled();
    const ClearAfterRun clear{ocr};
    const int width = static_cast<int>(image.width);
    ocr.SetImage(grey.data(), width, static_cast<int>(image.height), 1, width);
    // The engine polls its monitor between words, so a stop during the run ends it early.
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = stopRequested;
    monitor.cancel_this = &stop;
    keepOpenMpOnThisThread();
    const int status = ocr.Recognize(&monitor);
    if (stop.stop_requested()) throw Cancelled();
    if (status != 0) throw failure(failedCode, failedDescription);
    return readLines(ocr, image);
}

}  // namespace lumora::platform
