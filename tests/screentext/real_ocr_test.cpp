// Screen text on the real engine: rendered pages whose lines are known, recognised by
// Tesseract and put in reading order.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/linux/png_images.h"
#include "platform/linux/tesseract_recognition.h"
#include "runtime/text.h"
#include "runtime/thread_pool.h"
#include "screentext/recognition.h"
#include "tests/runtime/real_loop.h"

namespace lumora::ScreenText {
namespace {

using Words = std::vector<std::string>;

std::string fixture(const std::string& name) {
    std::ifstream file(std::string(LUMORA_OCR_FIXTURES) + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

Words wordsOf(std::string_view text) {
    Words words;
    for (const auto word : text::splitAtWhitespace(text)) words.emplace_back(word);
    return words;
}

// The fixture's lines in the order a reader reads them.
std::vector<Words> expectedLines(const std::string& page) {
    std::istringstream text(fixture(page + ".txt"));
    std::vector<Words> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(wordsOf(line));
    return lines;
}

std::vector<Line> recognisedLines(const std::string& page) {
    auto image = platform::PngImages().decode(fixture(page + ".png"));
    EXPECT_TRUE(image) << page;
    if (!image) return {};
    platform::TesseractRecognition recognition;
    SystemClock clock;
    EventLoop loop(clock);
    ThreadPool pool(1);
    std::vector<Line> lines;
    test_support::runToCompletion(loop, [&]() -> Task<void> {
        lines = co_await recognizeLines(recognition, pool, std::move(*image));
    }());
    return lines;
}

Words allWords(const std::vector<Line>& lines) {
    Words words;
    for (const Line& line : lines)
        for (auto& word : wordsOf(line.text)) words.push_back(std::move(word));
    return words;
}

Words allWords(const std::vector<Words>& lines) {
    Words words;
    for (const Words& line : lines) words.insert(words.end(), line.begin(), line.end());
    return words;
}

// Words recognised exactly and in the right order: the longest common subsequence. Reading
// two columns row by row would interleave them and lose about half.
std::size_t wordsInOrder(const Words& recognised, const Words& expected) {
    std::vector<std::size_t> previous(expected.size() + 1, 0), current(expected.size() + 1, 0);
    for (const auto& word : recognised) {
        for (std::size_t j = 1; j <= expected.size(); ++j)
            current[j] = word == expected[j - 1] ? previous[j - 1] + 1
                                                 : std::max(previous[j], current[j - 1]);
        std::swap(previous, current);
    }
    return previous.back();
}

// Expected lines found whole, one after the other, in the recognised words; the engine may
// join neighbouring lines of a row, which keeps them in order.
std::size_t linesInOrder(const Words& recognised, const std::vector<Words>& expected) {
    std::size_t found = 0;
    auto from = recognised.begin();
    for (const Words& line : expected) {
        const auto at = std::search(from, recognised.end(), line.begin(), line.end());
        if (at == recognised.end()) continue;
        ++found;
        from = at + static_cast<std::ptrdiff_t>(line.size());
    }
    return found;
}

TEST(RealOcrTest, ReadsATwoColumnPageHeadingFirstThenColumnByColumn) {
    const auto expected = expectedLines("two-column");
    const auto lines = recognisedLines("two-column");
    const Words recognised = allWords(lines);
    const Words words = allWords(expected);
    ASSERT_FALSE(words.empty());
    EXPECT_GE(wordsInOrder(recognised, words) * 100, words.size() * 95);
    EXPECT_GE(linesInOrder(recognised, expected) * 100, expected.size() * 95);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().text, "Chapter One: The Winter Light at Harrow Point");
    EXPECT_EQ(lines.back().text, "Harrow Point Almanac, page 12");
}

TEST(RealOcrTest, ReadsAWindowInterfaceFirstThenThePassageThenTheCounters) {
    const auto expected = expectedLines("window-noise");
    const Words recognised = allWords(recognisedLines("window-noise"));
    EXPECT_GE(linesInOrder(recognised, expected) * 100, expected.size() * 95);
    EXPECT_GE(wordsInOrder(recognised, allWords(expected)) * 100, allWords(expected).size() * 90);
}

}  // namespace
}  // namespace lumora::ScreenText
