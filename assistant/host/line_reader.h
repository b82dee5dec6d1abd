// Reads standard input line by line with bounded memory: a line longer than the limit is
// reported as oversized and skipped to its line break without ever being held whole.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace lumora {

class LineReader {
  public:
    struct Line {
        std::string bytes;  // without the line feed and a carriage return before it
        bool oversized = false;
    };

    // Lines of more than `maxLineBytes` bytes (after stripping the terminator) are oversized.
    LineReader(int fd, std::size_t maxLineBytes);

    // The next line; none at the end of input. A last line without a line feed still counts.
    std::optional<Line> next();

  private:
    bool fill();

    int fd_;
    std::size_t maxLineBytes_;
    std::string buffer_;
    std::size_t position_ = 0;
    bool ended_ = false;
};

}  // namespace lumora
