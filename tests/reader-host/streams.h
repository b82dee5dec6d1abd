// In-memory byte streams for the framing and loop tests, and the framing of test messages.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "reader-host/byte_streams.h"
#include "runtime/error.h"

namespace lumora::ReaderHost::testing {

// Hands out its bytes at most `chunk` at a time, as a pipe may, and keeps what was asked.
class ChunkedInput final : public ByteInput {
  public:
    explicit ChunkedInput(std::string bytes, std::size_t chunk = 1 << 20)
        : bytes_(std::move(bytes)), chunk_(chunk) {}

    std::size_t read(char* into, std::size_t capacity) override {
        requests.push_back(capacity);
        const std::size_t count = std::min({capacity, chunk_, bytes_.size() - offset_});
        std::memcpy(into, bytes_.data() + offset_, count);
        offset_ += count;
        return count;
    }

    std::size_t consumed() const { return offset_; }
    std::vector<std::size_t> requests;

  private:
    std::string bytes_;
    std::size_t chunk_;
    std::size_t offset_ = 0;
};

// Keeps every write; fails every write from `failFrom` on.
class RecordingOutput final : public ByteOutput {
  public:
    explicit RecordingOutput(std::size_t failFrom = SIZE_MAX) : failFrom_(failFrom) {}

    void write(std::string_view bytes) override {
        if (writes.size() >= failFrom_) throw Error("POSIX", 32, "Broken pipe");
        writes.emplace_back(bytes);
    }

    std::string all() const {
        std::string joined;
        for (const auto& write : writes) joined += write;
        return joined;
    }
    std::vector<std::string> writes;

  private:
    std::size_t failFrom_;
};

inline std::string lengthHeader(std::uint32_t length) {
    std::string header(sizeof length, '\0');
    std::memcpy(header.data(), &length, sizeof length);
    return header;
}

inline std::string framed(const std::string& body) {
    return lengthHeader(static_cast<std::uint32_t>(body.size())) + body;
}

// The bodies of the framed messages in `bytes`; stops at an incomplete frame.
inline std::vector<std::string> unframed(const std::string& bytes) {
    std::vector<std::string> bodies;
    std::size_t at = 0;
    while (bytes.size() - at >= 4) {
        std::uint32_t length = 0;
        std::memcpy(&length, bytes.data() + at, 4);
        if (bytes.size() - at - 4 < length) break;
        bodies.push_back(bytes.substr(at + 4, length));
        at += 4 + length;
    }
    return bodies;
}

}  // namespace lumora::ReaderHost::testing
