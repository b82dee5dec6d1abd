#include "assistant/host/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lumora {

namespace {
constexpr std::size_t chunkBytes = 64 * 1024;
}

LineReader::LineReader(int fd, std::size_t maxLineBytes) : fd_(fd), maxLineBytes_(maxLineBytes) {}

bool LineReader::fill() {
    if (ended_) return false;
    buffer_.erase(0, position_);
    position_ = 0;
    std::size_t old = buffer_.size();
    buffer_.resize(old + chunkBytes);
    while (true) {
        ssize_t got = ::read(fd_, buffer_.data() + old, chunkBytes);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            buffer_.resize(old);
            ended_ = true;
            return false;
        }
        buffer_.resize(old + static_cast<std::size_t>(got));
        return true;
    }
}

std::optional<LineReader::Line> LineReader::next() {
    Line line;
    // One byte more than the limit may be a carriage return that the terminator strips.
    const std::size_t keep = maxLineBytes_ + 1;
    bool sawAny = false;
    while (true) {
        const char* start = buffer_.data() + position_;
        std::size_t available = buffer_.size() - position_;
        const void* found = std::memchr(start, '\n', available);
        std::size_t take = found ? static_cast<const char*>(found) - start : available;
        if (take > 0 || found) sawAny = true;
        if (!line.oversized) {
            if (line.bytes.size() + take > keep) {
                line.oversized = true;
                line.bytes.clear();
                line.bytes.shrink_to_fit();
            } else {
                line.bytes.append(start, take);
            }
        }
        position_ += take;
        if (found) {
            ++position_;
            break;
        }
        if (!fill()) {
            if (!sawAny) return std::nullopt;
            break;
        }
    }
    if (!line.oversized) {
        if (!line.bytes.empty() && line.bytes.back() == '\r') line.bytes.pop_back();
        if (line.bytes.size() > maxLineBytes_) {
            line.oversized = true;
            line.bytes.clear();
        }
    }
    return line;
}

}  // namespace lumora
