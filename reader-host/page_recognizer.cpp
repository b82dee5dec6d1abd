#include "reader-host/page_recognizer.h"

#include <exception>

#include "runtime/clock.h"
#include "runtime/event_loop.h"
#include "runtime/task.h"
#include "screentext/recognition.h"

namespace lumora::ReaderHost {
namespace {

struct Outcome {
    std::vector<ScreenText::Line> lines;
    std::exception_ptr error;
};

Task<void> recognizeInto(platform::TextRecognition& recognition, ThreadPool& pool,
                         platform::Image image, Outcome& outcome, EventLoop& loop) {
    try {
        outcome.lines = co_await ScreenText::recognizeLines(recognition, pool, std::move(image));
    } catch (...) {
        outcome.error = std::current_exception();
    }
    loop.quit();
}

}  // namespace

std::vector<ScreenText::Line> ScreenTextRecognizer::recognizeLines(platform::Image image) {
    // The host handles one message at a time, so a loop that lives for this one run is all the
    // asynchronous machinery it needs.
    SystemClock clock;
    EventLoop loop(clock);
    Outcome outcome;
    spawn(loop, recognizeInto(recognition_, pool_, std::move(image), outcome, loop));
    loop.run();
    if (outcome.error) std::rethrow_exception(outcome.error);
    return std::move(outcome.lines);
}

}  // namespace lumora::ReaderHost
