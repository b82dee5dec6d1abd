#include "platform/linux/chat_completion_stream.h"

#include <simdjson.h>

#include "platform/linux/model_server_errors.h"

namespace lumora::platform {
namespace {

constexpr std::string_view endMarker = "[DONE]";
constexpr std::string_view thinkingOpens = "<think>";
constexpr std::string_view thinkingCloses = "</think>";
constexpr std::string_view whitespace = " \t\r\n";

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
    if (event.type == "error") {
        throw ModelServerErrors::failedWhileAnswering(ModelServerErrors::serverMessage(event.data));
    }
    if (event.type != "message") return;
    if (event.data.empty()) return;  // an empty event, sent by some servers to keep alive
    if (event.data == endMarker) {
        ended_ = true;
        return;
    }
    simdjson::dom::object chunk;
    if (parser_.parse(event.data).get(chunk) != simdjson::SUCCESS) {
        throw ModelServerErrors::unreadable();
    }
    if (chunk["error"].error() != simdjson::NO_SUCH_FIELD) {
        throw ModelServerErrors::failedWhileAnswering(ModelServerErrors::serverMessage(event.data));
    }
    simdjson::dom::element listed;
    if (chunk["choices"].get(listed) != simdjson::SUCCESS || listed.is_null()) {
        return;  // usage, timings
    }
    simdjson::dom::array choices;
    if (listed.get(choices) != simdjson::SUCCESS) throw ModelServerErrors::unreadable();
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
    const std::size_t start = content.find_first_not_of(whitespace);
    std::string_view opening = content.substr(std::min(start, content.size()));
    // Until the text shows whether it opens a reasoning block, it is held back; an answer that
    // ends there is what it is.
    if (!opening.starts_with(thinkingOpens.substr(0, opening.size()))) return content;
    if (opening.size() < thinkingOpens.size()) return ended_ ? content : std::string_view();
    const std::size_t close = content.find(thinkingCloses);
    if (close == std::string_view::npos) return {};
    content.remove_prefix(close + thinkingCloses.size());
    return content.substr(std::min(content.find_first_not_of(whitespace), content.size()));
}

}  // namespace lumora::platform
