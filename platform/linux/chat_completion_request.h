// The body of a streamed chat-completions request: the system instructions as the system
// message, then the prompt (a window image as a PNG data URL before its text), decoded greedily
// and the same way every time.
#pragma once

#include <optional>
#include <string>

namespace lumora::platform {

struct ChatCompletionRequest {
    std::string model;
    std::string instructions;
    std::optional<std::string> png;  // an encoded window image
    std::string text;
};

std::string chatCompletionBody(const ChatCompletionRequest& request);

}  // namespace lumora::platform
