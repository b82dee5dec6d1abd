// The event-stream framing of a streamed HTTP reply: bytes in, whole events out. Lines end in
// LF, CR LF or CR, a blank line ends an event, lines starting with a colon are comments
// (servers send them as keep-alives), and the "data" lines of one event are joined with LF.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace lumora::platform {

struct ServerSentEvent {
    std::string type = "message";  // the "event" field, or "error" for an "error" field
    std::string data;
};

class ServerSentEvents {
  public:
    // A line longer than `maxLineBytes` fails the stream rather than growing without bound.
    explicit ServerSentEvents(std::size_t maxLineBytes) : maxLineBytes_(maxLineBytes) {}

    // Hands every event completed by `bytes` to `event`; throws lumora::Error on an overlong
    // line.
    void feed(std::string_view bytes, const std::function<void(ServerSentEvent)>& event);

    // Whether bytes of an unfinished event are still waiting for their blank line.
    bool midEvent() const { return !line_.empty() || hasData_; }

  private:
    void endLine(std::string_view line, const std::function<void(ServerSentEvent)>& event);

    std::size_t maxLineBytes_;
    std::string line_;
    bool afterCarriageReturn_ = false;
    ServerSentEvent pending_;
    bool hasData_ = false;
};

}  // namespace lumora::platform
