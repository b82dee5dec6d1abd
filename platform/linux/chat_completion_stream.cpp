#include "platform/linux/chat_completion_stream.h"

#include <simdjson.h>

#include "platform/linux/model_server_errors.h"

namespace lumora::platform {
namespace {

constexpr std::string_view endMarker = "[DONE]";
constexpr std::string_view thinkingOpens = "<think>";
constexpr std::string_view thinkingCloses = "</think>";

// The message of an error object ({"message": ...}) or of a bare error string.
std::string errorMessage(simdjson::dom::element error) {
    std::string_view text;
    if (error.get(text) == simdjson::SUCCESS) return std::string(text);
    if (error["message"].get(text) == simdjson::SUCCESS) return std::string(text);
    return simdjson::minify(error);
}

}  // namespace

ChatCompletionStream::ChatCompletionStream(std::size_t maxAnswerBytes)
    // One event line holds at most one delta and its envelope.
    : maxAnswerBytes_(maxAnswerBytes), events_(maxAnswerBytes + 64 * 1024) {}

bool ChatCompletionStream::read(std::string_view bytes) {
    const std::size_t before = answer().size();
    events_.feed(bytes, [this](const ServerSentEvent& event) { take(event); });
    return answer().size() != before;
}

void ChatCompletionStream::take(const ServerSentEvent& event) {
    if (ended_) return;
    if (event.type == "error") throw ModelServerErrors::failedWhileAnswering(event.data);
    if (event.data == endMarker) {
        ended_ = true;
        return;
    }
    simdjson::dom::object chunk;
    if (parser_.parse(event.data).get(chunk) != simdjson::SUCCESS) {
        throw ModelServerErrors::unreadable();
    }
    simdjson::dom::element error;
    if (chunk["error"].get(error) == simdjson::SUCCESS) {
        throw ModelServerErrors::failedWhileAnswering(errorMessage(error));
    }
    simdjson::dom::array choices;
    if (chunk["choices"].get(choices) != simdjson::SUCCESS) {
        if (chunk["choices"].error() == simdjson::NO_SUCH_FIELD) return;  // usage, timings
        throw ModelServerErrors::unreadable();
    }
    for (simdjson::dom::element choice : choices) {
        std::uint64_t index = 0;
        if (choice["index"].get(index) == simdjson::SUCCESS && index != 0) continue;
        simdjson::dom::element content;
        const simdjson::error_code found = choice["delta"]["content"].get(content);
        if (found == simdjson::NO_SUCH_FIELD || (found == simdjson::SUCCESS && content.is_null())) {
            continue;  // a role-only or empty delta
        }
        std::string_view text;
        if (found != simdjson::SUCCESS || content.get(text) != simdjson::SUCCESS) {
            throw ModelServerErrors::unreadable();
        }
        if (text.size() > maxAnswerBytes_ - content_.size()) {
            throw ModelServerErrors::tooLong(maxAnswerBytes_);
        }
        content_ += text;
    }
}

void ChatCompletionStream::finish() const {
    if (!ended_) throw ModelServerErrors::cutShort();
}

std::string_view ChatCompletionStream::answer() const {
    std::string_view content = content_;
    if (!content.starts_with(thinkingOpens.substr(0, content.size()))) return content;
    const std::size_t close = content.find(thinkingCloses);
    if (close == std::string_view::npos) return {};
    content.remove_prefix(close + thinkingCloses.size());
    const std::size_t start = content.find_first_not_of(" \t\r\n");
    return start == std::string_view::npos ? std::string_view() : content.substr(start);
}

}  // namespace lumora::platform
