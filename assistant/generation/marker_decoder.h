// Turns the model's growing output into replies while it streams. Every snapshot is the whole
// output so far; the first complete marker fixes the action for the rest of the generation,
// and a reply is handed out only when it differs from the previous one. A marker is complete
// once another character follows it, or the output ends.
#pragma once

#include <optional>
#include <string_view>

#include "assistant/generation/assistant_action.h"
#include "assistant/generation/protocol_error.h"

namespace lumora {

class AssistantMarkerDecoder {
  public:
    // A new reply for this snapshot, or none while the marker is incomplete, the answer is
    // still empty, or nothing changed. Throws AssistantProtocolError as soon as the output
    // cannot start with a marker, or asks to read a blank selection.
    std::optional<AssistantReply> update(std::string_view snapshot, std::string_view selection);

    // The final reply for the complete output, even when update already handed it out.
    // Throws AssistantProtocolError when the output never had a marker or its answer is blank.
    AssistantReply finish(std::string_view snapshot, std::string_view selection);

    std::optional<AssistantAction> action() const { return action_; }
    const std::optional<AssistantReply>& last() const { return last_; }

    bool operator==(const AssistantMarkerDecoder&) const = default;

  private:
    // `complete` when the snapshot is the whole output, which settles a marker at its end.
    std::optional<AssistantReply> advance(std::string_view snapshot, std::string_view selection,
                                          bool complete);

    std::optional<AssistantAction> action_;
    std::optional<AssistantReply> last_;
};

}  // namespace lumora
