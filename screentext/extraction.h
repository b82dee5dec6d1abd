// Checking a passage the model copied out of the OCR lines. The model may silently correct or
// invent text, so its copy is accepted only when it is made of whole OCR lines in OCR order,
// and the passage is then rebuilt from the OCR's own strings. An answer under the summary
// marker is passed on labelled as a summary, never as verbatim text. Pure.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumora::ScreenText {

inline constexpr std::string_view summaryMarker = "SUMMARY_FALLBACK:";

struct Extraction {
    // The validated passage (OCR lines joined by newlines) or the model's summary.
    std::string text;
    bool isSummary = false;

    // The labelled block that goes into the answering prompt.
    std::string reference() const;
    bool operator==(const Extraction&) const = default;
};

// Interprets the model's raw answer against the OCR line texts (in reading order): a summary
// after the marker (code 4 when it is empty), otherwise the validated passage.
Extraction extraction(std::string_view response, const std::vector<std::string>& lines);

// Whitespace-insensitive, otherwise exact: the first line (in order) whose text fits the front
// of what is left of the response is taken, never backtracking; lines may be skipped but each
// taken line is whole and the taken lines must cover the response. Returns the taken lines as
// recognised, joined by newlines; anything else fails with code 1.
std::string validatedPassage(std::string_view response, const std::vector<std::string>& lines);

}  // namespace lumora::ScreenText
