// libFuzzer target: arbitrary bytes as the browser's side of standard input, through the framing,
// request decoding and validation of every request type. Nothing leaves the process: the HTTP
// transport answers from memory, recognition finds no text and the home directory is empty.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/linux/png_images.h"
#include "reader-host/byte_streams.h"
#include "reader-host/message_loop.h"
#include "reader-host/process.h"

namespace {

using namespace lumora;

// Hands the bytes out in pieces of varying size, as a pipe does.
class FuzzInput final : public ReaderHost::ByteInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t read(char* into, std::size_t capacity) override {
        const std::size_t piece = 1 + (offset_ * 7919) % 4093;
        const std::size_t count = std::min({capacity, piece, size_ - offset_});
        std::memcpy(into, data_ + offset_, count);
        offset_ += count;
        return count;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

class DiscardingOutput final : public ReaderHost::ByteOutput {
  public:
    void write(std::string_view) override {}
};

class EmptySystem final : public platform::System {
  public:
    platform::OsVersion osVersion() override { return {}; }
    std::optional<std::string> environment(const std::string&) override { return std::nullopt; }
    std::string homeDirectory() override { return "/nonexistent-lumora-fuzz-home"; }
    std::string temporaryDirectory() override { return "/tmp"; }
    double uptime() override { return 0; }
    std::string currentLocale() override { return "en_US"; }
    void log(const std::string&, const std::string&, platform::LogLevel,
             const std::string&) override {}
};

class NoText final : public ReaderHost::PageRecognizer {
  public:
    std::vector<ScreenText::Line> recognizeLines(platform::Image) override { return {}; }
};

class CannedHttp final : public platform::Http {
  public:
    platform::HttpResponse post(const platform::HttpRequest&) override {
        return {200, "{}", false};
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static EmptySystem system;
    static platform::PngImages images;
    static NoText recognizer;
    static CannedHttp http;
    static ReaderHost::Services services{system, images, recognizer, http, nullptr};
    FuzzInput input(data, size);
    DiscardingOutput output;
    DiscardingOutput diagnostics;
    ReaderHost::runMessageLoop(input, output, diagnostics, [](ReaderHost::Request request) {
        return ReaderHost::process(std::move(request), services);
    });
    return 0;
}
