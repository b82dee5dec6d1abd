// The hold monitor's event handler, which the system disables when it is slow: every key of
// the user's typing passes through it. Targets: a key event passed on in under 1 µs (median),
// with no heap allocation; and a whole hold (press, activation, release) for reference.
#include <benchmark/benchmark.h>

#include "assistant/hold/hold_shortcuts.h"
#include "bench/allocation_count.h"
#include "platform/linux/png_images.h"
#include "platform/linux/soxr_conversion.h"
#include "platform/linux/tesseract_recognition.h"
#include "platform/sim/sim_desktop.h"

namespace {

using namespace lumora;
using platform::InputEvent;
using platform::InputEventType;

struct Monitor {
    Monitor() {
        HoldOperations operations;
        operations.sendEvent = [this](const json::Document&) { ++reports; };
        shortcuts = std::make_unique<HoldShortcuts>(loop, ports, std::move(operations));
        shortcuts->configure({{"assistant", "Hold:Fn"}, {"dictation", "Hold:RightOption"}});
        shortcuts->install();
    }

    std::unique_ptr<sim::SimDesktop> desktop = sim::SimDesktop::load(R"({"frontmost": 200,
        "apps": [{"pid": 200, "name": "Notes"}]})");
    platform::PngImages images;
    platform::TesseractRecognition recognition;
    platform::SoxrConversion audioConversion;
    platform::Ports ports = desktop->ports(recognition, images, audioConversion);
    ManualClock clock;
    EventLoop loop{clock};
    std::unique_ptr<HoldShortcuts> shortcuts;
    int reports = 0;
};

InputEvent keyEvent(InputEventType type, std::uint16_t code, platform::EventFlags flags = 0) {
    InputEvent event;
    event.type = type;
    event.keyCode = code;
    event.flags = flags;
    return event;
}

void passTyping(benchmark::State& state) {
    Monitor monitor;
    const InputEvent down = keyEvent(InputEventType::keyDown, 0);
    const InputEvent up = keyEvent(InputEventType::keyUp, 0);
    const long before = bench::allocationsSoFar();
    std::size_t events = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(monitor.shortcuts->handle(down));
        benchmark::DoNotOptimize(monitor.shortcuts->handle(up));
        events += 2;
    }
    state.counters["allocationsPerEvent"] =
        static_cast<double>(bench::allocationsSoFar() - before) / static_cast<double>(events);
    state.SetItemsProcessed(static_cast<std::int64_t>(events));
}
BENCHMARK(passTyping)->Repetitions(5)->ReportAggregatesOnly(true);

void holdFn(benchmark::State& state) {
    Monitor monitor;
    const InputEvent press = keyEvent(InputEventType::flagsChanged, 63, 0x800000);
    const InputEvent release = keyEvent(InputEventType::flagsChanged, 63);
    for (auto _ : state) {
        benchmark::DoNotOptimize(monitor.shortcuts->handle(press));
        monitor.loop.advance(HoldTrigger::activationDelay);
        benchmark::DoNotOptimize(monitor.shortcuts->handle(release));
    }
    if (monitor.reports != 1 + 2 * static_cast<int>(state.iterations())) {
        state.SkipWithError("a hold was not reported");
    }
}
BENCHMARK(holdFn)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
