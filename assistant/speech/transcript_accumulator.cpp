#include "assistant/speech/transcript_accumulator.h"

#include <algorithm>
#include <cmath>

#include "runtime/text.h"

namespace lumora {

namespace {

using Passage = TranscriptAccumulator::Passage;

std::string joined(std::vector<Passage>::const_iterator first,
                   std::vector<Passage>::const_iterator last) {
    std::string text;
    for (auto passage = first; passage != last; ++passage) {
        if (!text.empty()) text += ' ';
        text += passage->text;
    }
    return text;
}

}  // namespace

void TranscriptAccumulator::update(const std::string& text, std::optional<double> start,
                                   std::optional<double> end, bool complete) {
    Passage next{std::string(text::trimWhitespaceAndNewlines(text)), std::nullopt, std::nullopt,
                 complete};
    if (next.text.empty()) return;
    if (start && end && std::isfinite(*start) && std::isfinite(*end) && *start >= 0 &&
        *start < *end) {
        next.start = start;
        next.end = end;
    }
    if (passages.empty()) {
        passages.push_back(std::move(next));
        return;
    }
    const Passage& last = passages.back();
    // A revision by text: the passage it revises goes, unless it is a finished stretch that
    // this one does not continue.
    auto applyTextRule = [&] {
        if (!last.complete || last.text == next.text || next.text.starts_with(last.text)) {
            passages.pop_back();
        }
        passages.push_back(std::move(next));
    };

    if (!next.start) {
        const std::string earlier = joined(passages.begin(), passages.end() - 1);
        // A result that repeats every earlier passage restates the whole transcript.
        if (!earlier.empty() && next.text.starts_with(earlier + ' ')) {
            passages.assign(1, std::move(next));
            return;
        }
        applyTextRule();
        return;
    }
    if (last.end && *next.start >= *last.end) {
        passages.push_back(std::move(next));
        return;
    }
    if (!last.start) {
        applyTextRule();
        return;
    }
    if (*next.start < *last.start) {
        const double lastStart = *last.start;
        std::erase_if(passages, [&](const Passage& passage) {
            return passage.start.value_or(lastStart) >= *next.start;
        });
    } else {
        passages.pop_back();
    }
    passages.push_back(std::move(next));
}

std::string TranscriptAccumulator::text() const {
    return joined(passages.begin(), passages.end());
}

}  // namespace lumora
