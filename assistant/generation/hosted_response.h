// The answer the app's cloud model streams back for one request, checked piece by piece with
// the same rules as the on-device decoder: the action never changes, a written answer only
// grows, a read-aloud answer is the user's selection, and a finished answer is not blank.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "assistant/generation/assistant_action.h"
#include "assistant/generation/protocol_error.h"

namespace lumora {

struct HostedAssistantResponse {
    // The request the cloud answer belongs to.
    std::uint64_t id = 0;
    // The target's selection when the request was sent: the answer of a read-aloud reply.
    std::string selection;
    std::optional<AssistantReply> last;
    // Complete or failed: every later piece is ignored.
    bool terminal = false;

    // The reply to deliver for one piece, or none for a piece of another request, a piece
    // after the end, or a partial one that adds nothing. Throws AssistantProtocolError, and
    // ends the response, for a piece that breaks the rules.
    std::optional<AssistantReply> receive(std::uint64_t id,
                                          const std::optional<std::string>& action,
                                          const std::optional<std::string>& text, bool complete);

    bool operator==(const HostedAssistantResponse&) const = default;
};

}  // namespace lumora
