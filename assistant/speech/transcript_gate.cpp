#include "assistant/speech/transcript_gate.h"

namespace lumora {

std::optional<std::string> TranscriptGate::recognized(const std::string& text, bool isFinal,
                                                      std::optional<double> start,
                                                      std::optional<double> end,
                                                      bool utteranceComplete) {
    if (delivered) return std::nullopt;
    accumulator.update(text, start, end, isFinal || utteranceComplete);
    if (!isFinal) {
        // A later partial result means the parked final one is no longer the whole story.
        pending.reset();
        return std::nullopt;
    }
    pending = accumulator.text();
    if (held) return std::nullopt;
    delivered = true;
    return pending;
}

std::optional<std::string> TranscriptGate::release() {
    if (!held || delivered) return std::nullopt;
    held = false;
    if (!pending) return std::nullopt;
    delivered = true;
    return pending;
}

}  // namespace lumora
