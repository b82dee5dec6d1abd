// The event-stream framing of a streamed HTTP reply: bytes in, whole events out. Lines end in
// LF, CR LF or CR, a blank line ends an event, lines starting with a colon are comments
// (servers send them as keep-alives), and the "data" lines of one event are joined with LF.
// An "error" field, which older llama-server versions send in place of "data" when an answer
// fails, makes an event of type "error".
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
    // A line or an event longer than `maxBytes` fails the stream rather than growing without
    // bound.
    explicit ServerSentEvents(std::size_t maxBytes) : maxBytes_(maxBytes) {}

    // Hands every event completed by `bytes` to `event`; throws lumora::Error on an overlong
    // line or event.
    void feed(std::string_view bytes, const std::function<void(ServerSentEvent)>& event);

  private:
    void endLine(std::string_view line, const std::function<void(ServerSentEvent)>& event);

    std::size_t maxBytes_;
    std::string line_;
    bool afterCarriageReturn_ = false;
    ServerSentEvent pending_;
    bool hasData_ = false;
};

}  // namespace lumora::platform
