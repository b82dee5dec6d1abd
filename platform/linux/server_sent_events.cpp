#include "platform/linux/server_sent_events.h"

#include "platform/linux/model_server_errors.h"

namespace lumora::platform {

void ServerSentEvents::feed(std::string_view bytes,
                            const std::function<void(ServerSentEvent)>& event) {
    for (char c : bytes) {
        // CR LF is one line end: the LF after a CR ends nothing more.
        if (c == '\n' && afterCarriageReturn_) {
            afterCarriageReturn_ = false;
            continue;
        }
        afterCarriageReturn_ = c == '\r';
        if (c == '\n' || c == '\r') {
            endLine(line_, event);
            line_.clear();
            continue;
        }
        if (line_.size() == maxBytes_) throw ModelServerErrors::unreadable();
        line_ += c;
    }
}

void ServerSentEvents::endLine(std::string_view line,
                               const std::function<void(ServerSentEvent)>& event) {
    if (line.empty()) {
        if (hasData_) event(std::move(pending_));
        pending_ = {};
        hasData_ = false;
        return;
    }
    if (line.front() == ':') return;
    const std::size_t colon = line.find(':');
    std::string_view field = line.substr(0, colon);
    std::string_view value;
    if (colon != std::string_view::npos) {
        value = line.substr(colon + 1);
        if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    }
    if (field == "data" || field == "error") {
        if (pending_.data.size() + value.size() >= maxBytes_) {
            throw ModelServerErrors::unreadable();
        }
        if (hasData_) pending_.data += '\n';
        pending_.data += value;
        hasData_ = true;
        if (field == "error") pending_.type = "error";
    } else if (field == "event") {
        pending_.type = value;
    }
}

}  // namespace lumora::platform
