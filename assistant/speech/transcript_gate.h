// Holds the final transcript of a recording back until the user has released the key, and
// hands it out exactly once.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lumora {

struct TranscriptAccumulator {
    struct Passage {
        std::string text;
        std::optional<double> start;
        std::optional<double> end;
        bool complete = false;
        bool operator==(const Passage&) const = default;
    };

    std::vector<Passage> passages;
    bool operator==(const TranscriptAccumulator&) const = default;
};

struct TranscriptGate {
    bool held = true;
    bool delivered = false;
    std::optional<std::string> pending;
    TranscriptAccumulator accumulator;
    bool operator==(const TranscriptGate&) const = default;
};

}  // namespace lumora
