#include "platform/linux/engine_team.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "runtime/error.h"

namespace lumora::platform {

struct EngineTeam::Page {
    Page(const GreyImage& image, std::stop_token stop) : image(image), stop(std::move(stop)) {}

    const GreyImage& image;
    std::stop_token stop;
    bool layoutClaimed = false;
    bool laidOut = false;
    PageLayout layout;
    std::vector<PixelBox> pieces;
    std::vector<std::vector<std::string>> words;
    std::size_t nextPiece = 0;
    std::optional<std::vector<TextObservation>> whole;
    std::exception_ptr error;
    int working = 0;

    void fail(std::exception_ptr failure) {
        if (!error) error = std::move(failure);
    }
    bool piecesLeft() const {
        return laidOut && nextPiece < pieces.size() && !error && !stop.stop_requested();
    }
    bool done() const {
        return working == 0 &&
               (error || stop.stop_requested() || (laidOut && nextPiece == pieces.size()));
    }
};

EngineTeam::EngineTeam(std::size_t members, EngineFactory startEngine)
    : startEngine_(std::move(startEngine)) {
    members = std::max<std::size_t>(members, 1);
    members_.reserve(members);
    for (std::size_t i = 0; i < members; ++i) members_.emplace_back([this] { serve(); });
}

EngineTeam::~EngineTeam() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    members_.clear();
}

std::vector<TextObservation> EngineTeam::read(const GreyImage& image, std::stop_token stop) {
    const std::lock_guard onePage(readMutex_);
    Page page(image, stop);
    std::unique_lock lock(mutex_);
    page_ = &page;
    ++pagesStarted_;
    changed_.notify_all();
    changed_.wait(lock, stop, [&] { return page.done(); });
    // A stop ends the wait at once; the members still reading stop after their current piece.
    changed_.wait(lock, [&] { return page.working == 0; });
    page_ = nullptr;
    lock.unlock();
    if (stop.stop_requested()) throw Cancelled();
    if (page.error) std::rethrow_exception(page.error);
    if (page.whole) return std::move(*page.whole);
    return observedLines(page.layout, page.words, image.width, image.height);
}

void EngineTeam::startAhead() {
    {
        const std::lock_guard lock(mutex_);
        startAhead_ = true;
    }
    changed_.notify_all();
}

// A member that comes to a page with its engine still unstarted starts it first; by then the
// others may have read the whole page, and it is left alone.
void EngineTeam::serve() {
    std::unique_ptr<PageEngine> engine;
    std::uint64_t served = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(
            lock, [&] { return ending_ || pagesStarted_ != served || (startAhead_ && !engine); });
        if (ending_) return;
        if (pagesStarted_ == served) {
            // Started for no page yet: a failure is left for the next page's own start to report.
            startAhead_ = false;
            start(engine, lock);
            continue;
        }
        served = pagesStarted_;
        if (!engine) {
            const std::exception_ptr failed = start(engine, lock);
            if (failed && page_ != nullptr && pagesStarted_ == served) {
                page_->fail(failed);
                changed_.notify_all();
            }
            if (!engine) continue;
        }
        if (page_ != nullptr && pagesStarted_ == served) work(*page_, *engine, lock);
    }
}

std::exception_ptr EngineTeam::start(std::unique_ptr<PageEngine>& engine,
                                     std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    std::exception_ptr failed;
    try {
        engine = startEngine_();
    } catch (...) {
        failed = std::current_exception();
    }
    lock.lock();
    return failed;
}

void EngineTeam::work(Page& page, PageEngine& engine, std::unique_lock<std::mutex>& lock) {
    ++page.working;
    if (!page.layoutClaimed) {
        page.layoutClaimed = true;
        layOut(page, engine, lock);
    } else {
        changed_.wait(lock, [&] { return page.laidOut || page.error; });
    }
    while (page.piecesLeft()) {
        const std::size_t piece = page.nextPiece++;
        lock.unlock();
        std::vector<std::string> words;
        std::exception_ptr failed;
        try {
            words = engine.lineWords(cropped(page.image, page.pieces[piece]), page.stop);
        } catch (...) {
            failed = std::current_exception();
        }
        lock.lock();
        if (failed) page.fail(failed);
        page.words[piece] = std::move(words);
    }
    --page.working;
    changed_.notify_all();
}

// A page whose lines cannot be cut out as the engine cuts them (vertical text) is read whole
// by the member that laid it out.
void EngineTeam::layOut(Page& page, PageEngine& engine, std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    PageLayout layout;
    std::optional<std::vector<TextObservation>> whole;
    std::exception_ptr failed;
    try {
        if (!page.stop.stop_requested()) layout = engine.layout(page.image);
        if (!layout.horizontal) whole = engine.wholePage(page.image, page.stop);
    } catch (...) {
        failed = std::current_exception();
    }
    lock.lock();
    if (failed) page.fail(failed);
    if (layout.horizontal)
        for (const auto& line : layout.lines)
            page.pieces.insert(page.pieces.end(), line.pieceImages.begin(), line.pieceImages.end());
    page.words.resize(page.pieces.size());
    page.layout = std::move(layout);
    page.whole = std::move(whole);
    page.laidOut = true;
    changed_.notify_all();
}

}  // namespace lumora::platform
