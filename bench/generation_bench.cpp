// The two text paths of a generation that see the most input. Targets: decoding a
// 10,000-character reply delivered as 10,000 cumulative snapshots (one character more each
// time) under 100 ms in total; referenceContext of a 1 MB selection under 20 ms.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "assistant/generation/marker_decoder.h"
#include "assistant/generation/prompt.h"
#include "runtime/text.h"

namespace {

using lumora::AssistantMarkerDecoder;
using lumora::AssistantSource;

// At least `bytes` of prose: whole copies of `piece`.
std::string prose(std::string_view piece, std::size_t bytes) {
    std::string text;
    while (text.size() < bytes) text += piece;
    return text;
}

// Byte ends of every character of `output`, so that each snapshot is a whole-character
// prefix, as the model hands them out.
std::vector<std::size_t> characterEnds(std::string_view output) {
    std::vector<std::size_t> ends;
    for (std::size_t end = 0; end < output.size();) {
        // No character of the prose is longer than 64 bytes.
        end += lumora::text::characterPrefix(output.substr(end, 64), 1).size();
        ends.push_back(end);
    }
    return ends;
}

// The marker, then prose, 10,000 characters in all.
std::string reply(std::string_view piece) {
    std::string output = "0|\n";
    output += prose(piece, 40000);
    return std::string(lumora::text::characterPrefix(output, 10000));
}

void decode(benchmark::State& state, std::string_view piece) {
    const std::string output = reply(piece);
    const std::vector<std::size_t> ends = characterEnds(output);
    const std::string_view all = output;
    std::size_t replies = 0;
    for (auto _ : state) {
        AssistantMarkerDecoder decoder;
        for (std::size_t end : ends) {
            auto next = decoder.update(all.substr(0, end), "");
            replies += next.has_value();
        }
        auto final = decoder.finish(all, "");
        benchmark::DoNotOptimize(final.text.data());
    }
    state.counters["snapshots"] = static_cast<double>(ends.size());
    state.counters["replies"] =
        benchmark::Counter(static_cast<double>(replies), benchmark::Counter::kAvgIterations);
}

void decodeAsciiReply(benchmark::State& state) {
    decode(state, "The quick brown fox jumps over the lazy dog.\n");
}
BENCHMARK(decodeAsciiReply)->Unit(benchmark::kMillisecond);

void decodeMixedReply(benchmark::State& state) {
    decode(state, "Grüße aus Köln — 東京 👩‍👩‍👧 🇫🇷 café\r\n");
}
BENCHMARK(decodeMixedReply)->Unit(benchmark::kMillisecond);

void reference(benchmark::State& state, std::string_view piece) {
    const std::string selection = prose(piece, 1 << 20);
    const AssistantSource source{"Notes", "Draft / Notes", "AXTextArea", "Note body"};
    for (auto _ : state) {
        auto result = lumora::AssistantPrompt::referenceContext(selection, source);
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["selectionBytes"] = static_cast<double>(selection.size());
}

void referenceOfAsciiMegabyte(benchmark::State& state) {
    reference(state, "The quick brown fox jumps over the lazy dog.\n");
}
BENCHMARK(referenceOfAsciiMegabyte)->Unit(benchmark::kMillisecond);

void referenceOfMixedMegabyte(benchmark::State& state) {
    reference(state, "Grüße aus Köln — 東京 👩‍👩‍👧 🇫🇷 café\r\n");
}
BENCHMARK(referenceOfMixedMegabyte)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
