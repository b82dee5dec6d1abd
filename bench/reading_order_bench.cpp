// Reading order and reference text of large pages of synthetic lines, given in a shuffled
// order as an engine might report them. Target: ordered() of 5,000 lines under 10 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "screentext/reading_order.h"
#include "screentext/reference_text.h"

namespace {

using lumora::ScreenText::Line;

// A heading and a footer across the page and the rest in two columns, or one column.
std::vector<Line> page(int count, bool twoColumns) {
    std::vector<Line> lines;
    lines.push_back({"Heading across both columns", {0.2, 0.98, 0.6, 0.01}});
    lines.push_back({"Footer across both columns", {0.3, 0.0, 0.4, 0.01}});
    const int perColumn = twoColumns ? (count - 2) / 2 : count - 2;
    for (int i = 0; static_cast<int>(lines.size()) < count; ++i) {
        const double y = 0.97 - 0.96 * (i % perColumn) / perColumn;
        const bool right = twoColumns && i >= perColumn;
        lines.push_back({"A line of body text that runs for a while, like a real one.",
                         {right ? 0.55 : 0.05, y, twoColumns ? 0.4 : 0.9, 0.9 / perColumn}});
    }
    std::shuffle(lines.begin(), lines.end(), std::mt19937(5000));
    return lines;
}

void orderedLines(benchmark::State& state) {
    const auto lines = page(static_cast<int>(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        auto result = lumora::ScreenText::ordered(lines);
        benchmark::DoNotOptimize(result.data());
    }
}
BENCHMARK(orderedLines)
    ->ArgNames({"lines", "columns"})
    ->Args({5000, 1})
    ->Args({5000, 0})
    ->Unit(benchmark::kMillisecond);

void referenceText(benchmark::State& state) {
    const auto lines = page(static_cast<int>(state.range(0)), true);
    for (auto _ : state) {
        auto result = lumora::ScreenText::reference(lines);
        benchmark::DoNotOptimize(result.data());
    }
}
BENCHMARK(referenceText)->ArgNames({"lines"})->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
