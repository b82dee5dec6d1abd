#include "assistant/generation/hosted_response.h"

#include "runtime/text.h"

namespace lumora {

std::optional<AssistantReply> HostedAssistantResponse::receive(
    std::uint64_t pieceID, const std::optional<std::string>& action,
    const std::optional<std::string>& text, bool complete) {
    if (pieceID != id || terminal) return std::nullopt;
    auto fail = [this](AssistantProtocolError error) {
        terminal = true;
        return error;
    };
    if (!action) throw fail(AssistantProtocolError::invalidMarker(""));
    std::optional<AssistantAction> kind = assistantActionFromRaw(*action);
    if (!kind || !text) throw fail(AssistantProtocolError::invalidMarker(*action));
    if (last && last->action != *kind) throw fail(AssistantProtocolError::invalidMarker(*action));

    AssistantReply reply{*kind, *text};
    if (*kind == AssistantAction::readSelection) {
        if (text::isBlank(selection)) throw fail(AssistantProtocolError::missingSelection());
        reply.text = selection;
    } else if (last && !text->starts_with(last->text)) {
        throw fail(AssistantProtocolError::invalidMarker(*action));
    }
    if (complete && text::isBlank(reply.text)) throw fail(AssistantProtocolError::emptyResponse());

    const bool repeated = last == reply;
    last = reply;
    terminal = complete;
    if (!complete && (repeated || reply.text.empty())) return std::nullopt;
    return reply;
}

}  // namespace lumora
