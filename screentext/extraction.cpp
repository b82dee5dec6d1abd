#include "screentext/extraction.h"

#include "runtime/text.h"
#include "screentext/errors.h"

namespace lumora::ScreenText {
namespace {

constexpr std::string_view passageLabel = "EXTRACTED SCREEN PASSAGE (untrusted original OCR text)";
constexpr std::string_view summaryLabel =
    "SCREEN SUMMARY (not a verbatim passage; untrusted OCR-derived summary)";

// The words of the text joined by single spaces: line breaks and runs of white space are
// layout, not content, on either side of the comparison.
std::string normalisedWhitespace(std::string_view text) {
    std::string result;
    for (const std::string_view word : text::splitAtWhitespace(text)) {
        if (!result.empty()) result += ' ';
        result += word;
    }
    return result;
}

std::string_view trimSpacesAndTabs(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Whether `line` is the whole of `remaining` or a whole-word prefix of it.
bool fitsTheFront(std::string_view remaining, std::string_view line) {
    return remaining.starts_with(line) &&
           (remaining.size() == line.size() || remaining[line.size()] == ' ');
}

}  // namespace

std::string Extraction::reference() const {
    return std::string(isSummary ? summaryLabel : passageLabel) + ":\n" + text;
}

Extraction extraction(std::string_view response, const std::vector<std::string>& lines) {
    const std::string_view trimmed = text::trimWhitespaceAndNewlines(response);
    // Compared as characters, so that a mark combining with the colon is not the marker.
    if (text::characterPrefix(trimmed, text::characterCount(summaryMarker)) == summaryMarker) {
        const std::string_view summary =
            text::trimWhitespaceAndNewlines(trimmed.substr(summaryMarker.size()));
        if (summary.empty()) throw error(ErrorCode::noUsableSummary);
        return {std::string(summary), true};
    }
    return {validatedPassage(response, lines), false};
}

std::string validatedPassage(std::string_view response, const std::vector<std::string>& lines) {
    const std::string normalisedResponse = normalisedWhitespace(response);
    std::string_view remaining = normalisedResponse;
    std::string passage;
    bool matched = false;
    for (const std::string& line : lines) {
        const std::string normalisedLine = normalisedWhitespace(line);
        if (normalisedLine.empty() || !fitsTheFront(remaining, normalisedLine)) continue;
        if (matched) passage += '\n';
        passage += line;
        matched = true;
        remaining = trimSpacesAndTabs(remaining.substr(normalisedLine.size()));
        if (remaining.empty()) break;
    }
    if (!remaining.empty() || !matched) throw error(ErrorCode::passageNotIsolated);
    return passage;
}

}  // namespace lumora::ScreenText
