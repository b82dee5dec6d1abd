#include "assistant/host/line_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>
#include <vector>

namespace lumora {
namespace {

// Feeds `input` through a real pipe from another thread, in pieces of `chunk` bytes, so lines
// straddle reads the way they do on a live pipe.
std::vector<LineReader::Line> readAll(const std::string& input, std::size_t limit,
                                      std::size_t chunk = 4096) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    std::thread writer([&] {
        for (std::size_t i = 0; i < input.size(); i += chunk) {
            std::size_t n = std::min(chunk, input.size() - i);
            EXPECT_EQ(::write(fds[1], input.data() + i, n), static_cast<ssize_t>(n));
        }
        ::close(fds[1]);
    });
    LineReader reader(fds[0], limit);
    std::vector<LineReader::Line> lines;
    while (auto line = reader.next()) lines.push_back(std::move(*line));
    writer.join();
    ::close(fds[0]);
    return lines;
}

TEST(LineReaderTest, StripsLineFeedsAndCarriageReturnsBeforeThem) {
    auto lines = readAll("one\ntwo\r\n\nthree\rx\nlast", 100, 3);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].bytes, "one");
    EXPECT_EQ(lines[1].bytes, "two");
    EXPECT_EQ(lines[2].bytes, "");
    EXPECT_EQ(lines[3].bytes, "three\rx");
    EXPECT_EQ(lines[4].bytes, "last");
    for (const auto& line : lines) EXPECT_FALSE(line.oversized);
}

TEST(LineReaderTest, NoInputMeansNoLines) {
    EXPECT_TRUE(readAll("", 100).empty());
}

TEST(LineReaderTest, LimitIsCountedAfterTheTerminator) {
    std::string exact(10, 'a');
    auto lines = readAll(exact + "\n" + exact + "\r\n" + exact + "a\n" + exact + "a\r\n", 10, 4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_FALSE(lines[0].oversized);
    EXPECT_EQ(lines[0].bytes, exact);
    EXPECT_FALSE(lines[1].oversized);
    EXPECT_EQ(lines[1].bytes, exact);
    EXPECT_TRUE(lines[2].oversized);
    EXPECT_TRUE(lines[3].oversized);
    EXPECT_TRUE(lines[3].bytes.empty());
}

TEST(LineReaderTest, AnOversizedLineIsSkippedToItsEndAndReadingGoesOn) {
    std::string huge(5 * 1024 * 1024, 'x');
    auto lines = readAll(huge + "\nafter\n" + huge, 1000, 64 * 1024);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].oversized);
    EXPECT_EQ(lines[1].bytes, "after");
    EXPECT_TRUE(lines[2].oversized);
}

}  // namespace
}  // namespace lumora
