#include "assistant/generation/prompt.h"

#include <vector>

#include "runtime/text.h"

namespace lumora::AssistantPrompt {

namespace {

constexpr std::size_t referenceLimit = 9500;
constexpr std::size_t referenceCut = 9450;
constexpr std::string_view truncationNotice = "\n[Context truncated]";
constexpr std::string_view metadataHeading =
    "ORIGINAL APP AND FOCUSED FIELD (untrusted metadata):\n";
constexpr std::string_view selectionHeading = "SELECTED TEXT:\n";

std::string joinBlocks(const std::vector<std::string>& blocks) {
    std::string joined;
    for (const auto& block : blocks) {
        if (!joined.empty()) joined += "\n\n";
        joined += block;
    }
    return joined;
}

}  // namespace

std::string referenceContext(std::string_view selectedText,
                             const std::optional<AssistantSource>& source) {
    std::vector<std::string> blocks;
    if (source) blocks.push_back(std::string(metadataHeading) + source->json());
    if (!text::trimWhitespaceAndNewlines(selectedText).empty()) {
        blocks.push_back(std::string(selectionHeading) + std::string(selectedText));
    }
    std::string joined = joinBlocks(blocks);
    // A text of at most 9,500 bytes cannot hold more characters than that; skip the count.
    if (joined.size() <= referenceLimit || text::characterCount(joined) <= referenceLimit) {
        return joined;
    }
    std::string cut(text::characterPrefix(joined, referenceCut));
    cut += truncationNotice;
    return cut;
}

}  // namespace lumora::AssistantPrompt
