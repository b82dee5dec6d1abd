// The Whisper capture's costs. Targets: 48 kHz to 16 kHz conversion at least 1,000 times real
// time on one core; the audio thread's share of a 1,024-frame buffer (copy and queue) under
// 5 µs (median); ten seconds of 48 kHz audio through append and finish into event lines under
// 50 ms of processor time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <string>
#include <thread>

#include "assistant/speech/whisper_audio_capture.h"
#include "platform/linux/soxr_conversion.h"

namespace {

using namespace lumora;

platform::AudioBuffer speechLike(std::size_t frames, double rate) {
    platform::AudioBuffer buffer{{rate, 1}, {std::vector<float>(frames)}};
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = i / rate;
        buffer.channels[0][i] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 220 * t) +
                                                   0.1 * std::sin(2 * std::numbers::pi * 1870 * t));
    }
    return buffer;
}

void convertOneSecond(benchmark::State& state) {
    platform::SoxrConversion conversion;
    auto converter = conversion.createConverter({48000, 1});
    const platform::AudioBuffer buffer = speechLike(1024, 48000);
    for (auto _ : state) {
        // One second of audio in the tap's buffers.
        for (int i = 0; i < 47; ++i) benchmark::DoNotOptimize(converter->convert(buffer));
    }
    state.counters["realTimeFactor"] = benchmark::Counter(
        47 * 1024 / 48000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(convertOneSecond)->Unit(benchmark::kMicrosecond);

void appendOnTheAudioThread(benchmark::State& state) {
    platform::SoxrConversion conversion;
    WhisperAudioCapture capture({48000, 1}, 1, conversion, [](const json::Document&) {});
    const platform::AudioBuffer buffer = speechLike(1024, 48000);
    // The buffers of one collection interval at the microphone's pace, then, untimed, the
    // time the worker takes to collect them: the queue stays as long as it is in use.
    constexpr int buffersPerCollection = 4;
    for (auto _ : state) {
        for (int i = 0; i < buffersPerCollection; ++i) capture.append(buffer);
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        state.ResumeTiming();
    }
    state.counters["perBuffer"] =
        benchmark::Counter(buffersPerCollection * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(appendOnTheAudioThread)->Iterations(200)->Repetitions(5)->ReportAggregatesOnly(true);

void tenSecondsIntoEventLines(benchmark::State& state) {
    platform::SoxrConversion conversion;
    const platform::AudioBuffer buffer = speechLike(1024, 48000);
    std::size_t bytes = 0;
    for (auto _ : state) {
        WhisperAudioCapture capture({48000, 1}, 1, conversion, [&](const json::Document& event) {
            bytes += json::serialize(event).size();
        });
        for (int i = 0; i < 469; ++i) capture.append(buffer);
        capture.finish();
    }
    state.counters["lineBytes"] =
        benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
}
BENCHMARK(tenSecondsIntoEventLines)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
