#include "assistant/generation/marker_decoder.h"

#include <algorithm>

#include "runtime/text.h"

namespace lumora {

namespace {

// Enough of an unmarked output to recognise it in a log.
constexpr std::size_t diagnosticCharacters = 80;

AssistantProtocolError unmarked(std::string_view output) {
    return AssistantProtocolError::invalidMarker(
        std::string(text::characterPrefix(output, diagnosticCharacters)));
}

// The action whose marker the output starts with. Markers are two user-perceived characters:
// "0|" followed by a combining mark starts with "0" and an accented bar, which is no marker.
std::optional<AssistantAction> markedAction(std::string_view snapshot) {
    auto found = std::ranges::find(allAssistantActions, text::characterPrefix(snapshot, 2),
                                   [](AssistantAction action) { return marker(action); });
    if (found == allAssistantActions.end()) return std::nullopt;
    return *found;
}

// The empty output, a lone digit 0 to 3 and a marker that nothing follows yet, whose bar a
// combining mark may still join.
bool couldBecomeMarker(std::string_view snapshot) {
    return std::ranges::any_of(allAssistantActions, [&](AssistantAction action) {
        return marker(action).starts_with(snapshot);
    });
}

// The answer after the marker. Models often put the answer on its own line, so one line
// break after the marker belongs to the prefix; any further white space is the answer's.
std::string_view body(std::string_view snapshot, std::string_view marker) {
    if (!snapshot.starts_with(marker)) return {};
    snapshot.remove_prefix(marker.size());
    if (snapshot.starts_with("\r\n")) {
        snapshot.remove_prefix(2);
    } else if (snapshot.starts_with('\n')) {
        snapshot.remove_prefix(1);
    }
    return snapshot;
}

// Reading the selection aloud ignores whatever the model wrote after the marker.
std::string_view replyText(AssistantAction action, std::string_view snapshot,
                           std::string_view selection) {
    if (action == AssistantAction::readSelection) return selection;
    return body(snapshot, marker(action));
}

}  // namespace

std::optional<AssistantReply> AssistantMarkerDecoder::update(std::string_view snapshot,
                                                             std::string_view selection) {
    return advance(snapshot, selection, false);
}

AssistantReply AssistantMarkerDecoder::finish(std::string_view snapshot,
                                              std::string_view selection) {
    advance(snapshot, selection, true);
    std::string_view text = replyText(*action_, snapshot, selection);
    if (text::isBlank(text)) throw AssistantProtocolError::emptyResponse();
    return AssistantReply{*action_, std::string(text)};
}

std::optional<AssistantReply> AssistantMarkerDecoder::advance(std::string_view snapshot,
                                                              std::string_view selection,
                                                              bool complete) {
    if (!action_) {
        if (!complete && couldBecomeMarker(snapshot)) return std::nullopt;
        action_ = markedAction(snapshot);
        if (!action_) throw unmarked(snapshot);
    }
    AssistantAction action = *action_;
    if (action == AssistantAction::readSelection && text::isBlank(selection)) {
        throw AssistantProtocolError::missingSelection();
    }
    std::string_view text = replyText(action, snapshot, selection);
    if (last_ && last_->action == action && last_->text == text) return std::nullopt;
    if (action != AssistantAction::readSelection && text.empty()) return std::nullopt;
    last_ = AssistantReply{action, std::string(text)};
    return last_;
}

}  // namespace lumora
