#include "platform/linux/tesseract_engine.h"

#include <dlfcn.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "platform/linux/tesseract_recognition.h"
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

// The engine narrates its work on standard error, which is this process's log. Where it writes
// is one setting for the whole library, so it is made once, before the first engine starts,
// rather than by every engine while another may be starting.
void sendTheEngineLogNowhere() {
    static std::once_flag once;
    std::call_once(once, [] { tesseract::TessBaseAPI().SetVariable("debug_file", "/dev/null"); });
}

bool stopRequested(void* stop, int /*words*/) {
    return static_cast<const std::stop_token*>(stop)->stop_requested();
}

PixelBox boxAt(const tesseract::PageIterator& at, tesseract::PageIteratorLevel level) {
    PixelBox box;
    at.BoundingBox(level, &box.left, &box.top, &box.right, &box.bottom);
    return box;
}

bool horizontalBlock(const tesseract::PageIterator& block) {
    tesseract::Orientation orientation{};
    tesseract::WritingDirection direction{};
    tesseract::TextlineOrder order{};
    float deskew = 0;
    block.Orientation(&orientation, &direction, &order, &deskew);
    return orientation == tesseract::ORIENTATION_PAGE_UP &&
           direction == tesseract::WRITING_DIRECTION_LEFT_TO_RIGHT;
}

// The geometry the engine's page run cuts a piece by: its word box with every diacritic
// counted, and its row's baseline and extent.
LinePieceGeometry pieceAt(tesseract::PageIterator& word) {
    LinePieceGeometry piece;
    word.SetBoundingBoxComponents(true, true);
    piece.words = boxAt(word, tesseract::RIL_WORD);
    word.SetBoundingBoxComponents(false, false);
    int left = 0, right = 0;
    word.Baseline(tesseract::RIL_WORD, &left, &piece.baselineAtLeft, &right,
                  &piece.baselineAtRight);
    float ascenders = 0;
    word.RowAttributes(&piece.rowHeight, &piece.descenders, &ascenders);
    return piece;
}

// The engine keeps the last picture and its results until told otherwise; they are dropped
// after every run so that an idle engine holds only its model.
struct ClearAfterRun {
    ~ClearAfterRun() { api.Clear(); }
    tesseract::TessBaseAPI& api;
};

}  // namespace

TesseractEngine::TesseractEngine(const std::string& tessdataDirectory)
    : api_(std::make_unique<tesseract::TessBaseAPI>()) {
    const std::string directory = tessdataDirectory.empty() ? findTessdata() : tessdataDirectory;
    sendTheEngineLogNowhere();
    // With the LSTM engine the ratings matrix is what applies the dictionary; the load_*_dawg
    // settings do not turn it off.
    const std::vector<std::string> names{"lstm_use_matrix", "tessedit_do_invert"};
    const std::vector<std::string> values{"0", "0"};
    keepOpenMpOnThisThread();
    if (directory.empty() || api_->Init(directory.c_str(), "eng", tesseract::OEM_LSTM_ONLY, nullptr,
                                        0, &names, &values, false) != 0)
        throw failure(TesseractRecognition::unavailableCode,
                      TesseractRecognition::unavailableDescription, {{"tessdata", directory}});
}

TesseractEngine::~TesseractEngine() {
    api_->End();
}

// Words are combined into pieces the way the engine's own page run combines them for its line
// recogniser: a line with wide gaps or odd-sized words is read in several pieces.
PageLayout TesseractEngine::layout(const GreyImage& page) {
    const ClearAfterRun clear{*api_};
    api_->SetPageSegMode(tesseract::PSM_AUTO);
    api_->SetImage(page.pixels.data(), page.width, page.height, 1, page.width);
    keepOpenMpOnThisThread();
    PageLayout layout;
    const std::unique_ptr<tesseract::PageIterator> word(api_->AnalyseLayout(true));
    if (!word) return layout;
    do {
        if (word->Empty(tesseract::RIL_WORD)) continue;
        if (word->IsAtBeginningOf(tesseract::RIL_BLOCK))
            layout.horizontal = layout.horizontal && horizontalBlock(*word);
        if (layout.lines.empty() || word->IsAtBeginningOf(tesseract::RIL_TEXTLINE))
            layout.lines.push_back({boxAt(*word, tesseract::RIL_TEXTLINE), {}});
        layout.lines.back().pieceImages.push_back(
            lineImageBox(pieceAt(*word), page.width, page.height));
    } while (word->Next(tesseract::RIL_WORD));
    return layout;
}

void TesseractEngine::recognise(const GreyImage& image, std::stop_token stop) {
    api_->SetImage(image.pixels.data(), image.width, image.height, 1, image.width);
    // The engine polls its monitor between words, so a stop during the run ends it early.
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = stopRequested;
    monitor.cancel_this = &stop;
    keepOpenMpOnThisThread();
    const int status = api_->Recognize(&monitor);
    if (status != 0 && !stop.stop_requested())
        throw failure(TesseractRecognition::failedCode, TesseractRecognition::failedDescription);
}

std::vector<std::string> TesseractEngine::lineWords(const GreyImage& piece, std::stop_token stop) {
    const ClearAfterRun clear{*api_};
    api_->SetPageSegMode(tesseract::PSM_RAW_LINE);
    recognise(piece, stop);
    std::vector<std::string> words;
    const std::unique_ptr<tesseract::ResultIterator> word(api_->GetIterator());
    if (!word) return words;
    do {
        if (word->Empty(tesseract::RIL_WORD)) continue;
        if (const std::unique_ptr<char[]> utf8(word->GetUTF8Text(tesseract::RIL_WORD)); utf8)
            words.emplace_back(utf8.get());
    } while (word->Next(tesseract::RIL_WORD));
    return words;
}

std::vector<TextObservation> TesseractEngine::wholePage(const GreyImage& page,
                                                        std::stop_token stop) {
    const ClearAfterRun clear{*api_};
    api_->SetPageSegMode(tesseract::PSM_AUTO);
    recognise(page, stop);
    std::vector<TextObservation> lines;
    const std::unique_ptr<tesseract::ResultIterator> line(api_->GetIterator());
    if (!line) return lines;
    constexpr auto level = tesseract::RIL_TEXTLINE;
    do {
        if (line->Empty(level)) continue;
        const std::unique_ptr<char[]> utf8(line->GetUTF8Text(level));
        if (!utf8) continue;
        std::string text(utf8.get());
        while (!text.empty() && text.back() == '\n') text.pop_back();
        if (text.empty()) continue;
        lines.push_back(
            {std::move(text), normalisedBox(boxAt(*line, level), page.width, page.height)});
    } while (line->Next(level));
    return lines;
}

}  // namespace lumora::platform
