// What a step of reply decoding comes to, for tables of expected outcomes: a reply, no reply,
// or a protocol error; printed readably when a case fails.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "assistant/generation/assistant_action.h"
#include "assistant/generation/protocol_error.h"

namespace lumora {

inline void PrintTo(const AssistantReply& reply, std::ostream* out) {
    *out << rawValue(reply.action) << " \"" << reply.text << "\"";
}

inline void PrintTo(const AssistantProtocolError& error, std::ostream* out) {
    *out << "error " << static_cast<int>(error.kind) << " \"" << error.payload << "\"";
}

namespace reply_outcomes {

using Outcome = std::variant<std::optional<AssistantReply>, AssistantProtocolError>;

inline const Outcome nothing = std::optional<AssistantReply>{};

inline Outcome reply(AssistantAction action, std::string text) {
    return std::optional<AssistantReply>{AssistantReply{action, std::move(text)}};
}

inline Outcome invalid(std::string payload) {
    return AssistantProtocolError::invalidMarker(std::move(payload));
}

// The outcome of `step`, a protocol error included.
template <class Step>
Outcome outcomeOf(Step step) {
    try {
        return step();
    } catch (const AssistantProtocolError& error) {
        return error;
    }
}

}  // namespace reply_outcomes
}  // namespace lumora
