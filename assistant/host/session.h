// The record of the current session: which request it is, where it came from and what it has
// produced so far. Only the commands that begin or end a session reset it; cancelling the
// running work leaves it alone. That work fills in `context`, `result` and `screenImage`, and
// writes into the field `target` points at.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "assistant/audit/generation_history.h"
#include "assistant/host/request.h"
#include "assistant/target/target.h"
#include "platform/images.h"

namespace lumora {

struct Session {
    // Every step that outlives a call captures this and does nothing once it has changed.
    std::uint64_t id = 0;
    // The command that began the session: "open", "ask" or "start".
    std::optional<Request> request;
    // Shared: an insertion still running keeps the target it pastes into.
    std::shared_ptr<Target> target;
    // The reference context for the model; sent in every session event.
    std::string context;
    // The last transcript or answer: what "copy" copies and what errors fall back to.
    std::string result;
    // Shared: a generation keeps writing the record it began with.
    std::shared_ptr<GenerationHistory> audit;
    // A capture made by "screen", consumed by the next "ask".
    std::optional<platform::Image> screenImage;
    // The app's latest partial Whisper transcript: what a failed transcription leaves to copy.
    std::string whisperPreview;
};

}  // namespace lumora
