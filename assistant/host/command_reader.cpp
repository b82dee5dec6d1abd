#include "assistant/host/command_reader.h"

#include "assistant/host/event_output.h"
#include "assistant/host/line_reader.h"
#include "runtime/text.h"

namespace lumora {

namespace {

void reportInvalidLine() {
    static const std::string line = json::serialize(
        json::Document{{"id", 0}, {"phase", "error"}, {"message", "Invalid native request."}});
    writeEventLine(line);
}

}  // namespace

bool CommandGate::enter() {
    std::unique_lock lock(mutex_);
    if (pending_ >= limit_) {
        // Waits for half of them, not one: while the loop is the slower side the reader then
        // wakes once every half-limit of requests instead of once a request.
        room_.wait(lock, [&] { return closed_ || pending_ <= limit_ / 2; });
    }
    if (closed_) return false;
    ++pending_;
    return true;
}

void CommandGate::leave() {
    std::lock_guard lock(mutex_);
    if (--pending_ == limit_ / 2) room_.notify_one();
}

void CommandGate::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    room_.notify_one();
}

void readCommands(int fd, CommandGate& gate, const std::function<void(Request)>& deliver) {
    LineReader reader(fd, maxCommandLineBytes);
    RequestDecoder decoder;
    while (auto line = reader.next()) {
        if (line->oversized) {
            reportInvalidLine();
            continue;
        }
        // Ill-formed UTF-8 becomes U+FFFD, which can only lengthen the line.
        std::string text = text::sanitizeUtf8(line->bytes);
        auto request = text.size() > maxCommandLineBytes ? std::nullopt : decoder.decode(text);
        if (!request) {
            reportInvalidLine();
            continue;
        }
        if (!gate.enter()) return;
        deliver(std::move(*request));
    }
}

}  // namespace lumora
