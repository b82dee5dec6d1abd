// The real desktop's figures, on the headless test desktop with a real editor holding a
// 6,000-character document: capturing the request's target (application, field, value,
// selection and caret bounds, as "open" does), one streamed snapshot written into the field
// and read back, and the pixels of a 1280x800 window.
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "assistant/target/target.h"
#include "bench/desktop_backend.h"

namespace {

using lumora::test_support::TestDesktop;

// Paragraphs of four sentences, as notes are written.
std::string document() {
    std::string text;
    const std::string sentence = "The beta ships on Friday; notes follow in this paragraph. ";
    for (int count = 1; text.size() + sentence.size() < 6000; ++count) {
        text += sentence;
        if (count % 4 == 0) text.back() = '\n';
    }
    return text + std::string(6000 - text.size(), '.');
}

// One editor on the test desktop and the backend the helper would use, set up once.
struct Desktop : lumora::bench::DesktopBackend {
    Desktop() {
        editor = TestDesktop::shared().openEditor(document());
        TestDesktop::shared().pressKeys(editor, {"ctrl+End"});
    }
    TestDesktop::Editor editor;
};

Desktop& desktop() {
    static Desktop shared;
    return shared;
}

void captureTarget(benchmark::State& state) {
    Desktop& world = desktop();
    for (auto _ : state) {
        lumora::Target target(world.ports, world.loop, world.clipboard);
        if (!target.editable() || !target.caretBounds()) {
            state.SkipWithError("the editor's field was not captured");
            return;
        }
    }
}
BENCHMARK(captureTarget)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void streamSnapshot(benchmark::State& state) {
    Desktop& world = desktop();
    lumora::Target target(world.ports, world.loop, world.clipboard);
    target.beginReply();
    std::string reply;
    for (auto _ : state) {
        reply += "word ";
        target.streamInsert(reply);
    }
    if (!target.streamCompleted(reply)) state.SkipWithError("the reply did not land as streamed");
    target.undo();
}
BENCHMARK(streamSnapshot)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void captureWindow(benchmark::State& state) {
    Desktop& world = desktop();
    TestDesktop::shared().resizeWindow(world.editor, 1280, 800);
    for (auto _ : state) {
        bool captured = false;
        world.ports.screenCapture.captureWindow(
            world.editor.window, 1280, 800,
            [&](lumora::platform::Outcome<lumora::platform::Image> image) {
                captured = std::holds_alternative<lumora::platform::Image>(image);
            });
        if (!captured) {
            state.SkipWithError("the window was not captured");
            return;
        }
    }
}
BENCHMARK(captureWindow)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
