// One transcript out of the recogniser's stream of results, which revise, restart and overlap
// each other: each stretch of speech is a passage, and a result replaces the passages it
// revises, judged by its time range when it has one and by its text when it has none.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lumora {

struct TranscriptAccumulator {
    struct Passage {
        std::string text;
        // Seconds from the start of the audio to the first word and to the end of the last.
        std::optional<double> start;
        std::optional<double> end;
        // Marked final, or the utterance complete.
        bool complete = false;
        bool operator==(const Passage&) const = default;
    };

    std::vector<Passage> passages;

    // Blank text changes nothing; a time range that is not a finite, non-negative, non-empty
    // span counts as none.
    void update(const std::string& text, std::optional<double> start, std::optional<double> end,
                bool complete);
    // The passages joined with single spaces.
    std::string text() const;

    bool operator==(const TranscriptAccumulator&) const = default;
};

}  // namespace lumora
