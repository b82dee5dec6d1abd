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

void readCommands(int fd, const std::function<void(Request)>& deliver) {
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
        deliver(std::move(*request));
    }
}

}  // namespace lumora
