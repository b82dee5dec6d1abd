// Holds the final transcript of a recording back until the user has released the key, and
// hands it out exactly once: a final result before the release waits for it, a release
// before any final result lets the next one through at once.
#pragma once

#include <optional>
#include <string>

#include "assistant/speech/transcript_accumulator.h"

namespace lumora {

struct TranscriptGate {
    // The user is still holding the key.
    bool held = true;
    // The transcript has been handed out; nothing more will be.
    bool delivered = false;
    // The last final transcript, waiting for the release.
    std::optional<std::string> pending;
    TranscriptAccumulator accumulator;

    // One recognition result; the transcript to deliver now, if any.
    std::optional<std::string> recognized(const std::string& text, bool isFinal,
                                          std::optional<double> start, std::optional<double> end,
                                          bool utteranceComplete);
    // The user let go of the key; the transcript to deliver now, if any.
    std::optional<std::string> release();
    // The live preview.
    std::string text() const { return accumulator.text(); }

    bool operator==(const TranscriptGate&) const = default;
};

}  // namespace lumora
