#include "platform/linux/chat_completion_request.h"

#include "runtime/base64.h"
#include "runtime/json.h"

namespace lumora::platform {
namespace {

// Any fixed value: it only matters that it never changes.
constexpr int fixedSeed = 42;

json::Document userContent(const ChatCompletionRequest& request) {
    if (!request.png) return request.text;
    json::Document image = {
        {"type", "image_url"},
        {"image_url", {{"url", "data:image/png;base64," + base64::encode(*request.png)}}}};
    return json::Document::array({image, {{"type", "text"}, {"text", request.text}}});
}

}  // namespace

std::string chatCompletionBody(const ChatCompletionRequest& request) {
    json::Document body = {
        {"model", request.model},
        {"messages",
         json::Document::array({{{"role", "system"}, {"content", request.instructions}},
                                {{"role", "user"}, {"content", userContent(request)}}})},
        {"stream", true},
        // Greedy: the most likely token every time. Servers differ in which of these they
        // read, so all are sent.
        {"temperature", 0},
        {"top_k", 1},
        {"seed", fixedSeed},
        // llama-server otherwise reuses the cached prefix of an earlier prompt, and a prompt
        // evaluated in different batches may decode differently.
        {"cache_prompt", false},
    };
    return json::serialize(body);
}

}  // namespace lumora::platform
