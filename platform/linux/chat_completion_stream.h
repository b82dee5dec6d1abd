// The answer carried by a streamed chat-completions reply (OpenAI's "chat.completion.chunk"
// events), read as its bytes arrive. Only the first choice's "content" is the answer: role-only
// and empty deltas, usage and timing chunks add nothing, and reasoning never becomes answer
// text, whether a server sends it in its own field ("reasoning_content", "reasoning",
// "thinking") or inline as a leading <think> block. Events of other types than "message" and
// "error" (a server's pings) are not part of the answer.
#pragma once

#include <simdjson.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/linux/server_sent_events.h"

namespace lumora::platform {

class ChatCompletionStream {
  public:
    explicit ChatCompletionStream(std::size_t maxAnswerBytes);

    // Reads more of the reply body; true when the answer grew. Throws lumora::Error for an
    // error the server sends inside the stream, an event that is not a chunk, or an answer
    // beyond the limit.
    bool read(std::string_view bytes);
    // The body ended: throws unless the server marked the end of its answer.
    void finish() const;

    // The answer so far.
    std::string_view answer() const;

  private:
    void take(const ServerSentEvent& event);

    std::size_t maxAnswerBytes_;
    ServerSentEvents events_;
    simdjson::dom::parser parser_;
    std::string content_;
    bool ended_ = false;
};

}  // namespace lumora::platform
