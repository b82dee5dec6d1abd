// libFuzzer target: arbitrary bytes as the app's side of standard input, through the line reader
// with its length limit, the repair of ill-formed UTF-8 and Request decoding. Nothing leaves the
// process: the answers to refused lines are checked, not written. An exception out of the reader
// or the decoder ends the run as a crash.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "assistant/host/command_reader.h"
#include "assistant/host/event_output.h"
#include "runtime/text.h"

namespace {

using namespace lumora;

// Hands the bytes over in pieces of varying size, as a pipe does. Each piece is one packet, and
// so one read, whatever the threads' timing: a crash found replays the same way.
void writeInPieces(int fd, std::string_view input) {
    for (std::size_t offset = 0; offset < input.size();) {
        const std::size_t piece = std::min(1 + (offset * 7919) % 4093, input.size() - offset);
        if (::write(fd, input.data() + offset, piece) != static_cast<ssize_t>(piece)) {
            __builtin_trap();
        }
        offset += piece;
    }
    ::close(fd);
}

// The writing end's thread, kept for every run: starting and joining a thread per run made the
// fuzzer five times slower.
class Writer {
  public:
    // Writes `input` to `fd` and closes it; returns at once.
    void start(int fd, std::string_view input) {
        std::lock_guard lock(mutex_);
        fd_ = fd;
        input_ = input;
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return fd_ < 0; });
    }

  private:
    void serve(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        while (changed_.wait(lock, stop, [&] { return fd_ >= 0; })) {
            writeInPieces(fd_, input_);
            fd_ = -1;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable_any changed_;
    int fd_ = -1;
    std::string_view input_;
    std::jthread thread_{[this](std::stop_token stop) { serve(stop); }};
};

// The input's lines as the app wrote them, each without its line feed and a carriage return
// before it; a last line without a line feed counts.
std::vector<std::string_view> linesOf(std::string_view input) {
    std::vector<std::string_view> lines;
    while (!input.empty()) {
        const std::size_t end = std::min(input.find('\n'), input.size());
        std::string_view line = input.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.push_back(line);
        input.remove_prefix(std::min(end + 1, input.size()));
    }
    return lines;
}

// What the line must become however its bytes arrived: refused when it is too long, before or
// after its ill-formed UTF-8 is replaced, and otherwise decoded on its own.
std::optional<Request> expected(std::string_view line, RequestDecoder& decoder) {
    if (line.size() > maxCommandLineBytes) return std::nullopt;
    const std::string text = text::sanitizeUtf8(line);
    if (text.size() > maxCommandLineBytes) return std::nullopt;
    return decoder.decode(text);
}

// The request as a line the app would write for it. Decoding that line must give the request
// back: its strings are well-formed UTF-8 (the encoder would replace anything else) and its id
// keeps every digit.
std::string encode(const Request& request) {
    json::Document line{{"command", request.command}, {"id", request.id}};
    auto put = [&](const char* key, const auto& field) {
        if (field) line[key] = *field;
    };
    put("mode", request.mode);
    if (request.provider) line["provider"] = std::string(rawValue(*request.provider));
    put("action", request.action);
    put("message", request.message);
    put("language", request.language);
    put("transcriptionEngine", request.transcriptionEngine);
    put("instruction", request.instruction);
    put("context", request.context);
    put("output", request.output);
    put("text", request.text);
    put("key", request.key);
    put("modifiers", request.modifiers);
    put("restore", request.restore);
    put("restoreClipboard", request.restoreClipboard);
    put("holdBindings", request.holdBindings);
    return json::serialize(line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string_view> lines = linesOf(input);
    static RequestDecoder decoder;
    // Every line in turn is either answered as refused or handed on, as it would be alone.
    std::size_t next = 0;
    auto check = [&](const std::optional<Request>& outcome) {
        if (next == lines.size() || outcome != expected(lines[next++], decoder)) __builtin_trap();
    };
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds) != 0) __builtin_trap();
    static Writer writer;
    writer.start(fds[1], input);
    setEventDestination([&](std::string_view) { check(std::nullopt); });
    CommandGate gate(pendingCommandLimit);
    readCommands(fds[0], gate, [&](Request request) {
        gate.leave();
        check(request);
        if (decoder.decode(encode(request)) != request) __builtin_trap();
    });
    resetEventDestination();
    writer.wait();
    ::close(fds[0]);
    if (next != lines.size()) __builtin_trap();
    return 0;
}
