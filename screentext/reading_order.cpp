#include "screentext/reading_order.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

namespace lumora::ScreenText {
namespace {

// Candidate gutters at every hundredth from a quarter to three quarters of the width.
constexpr int firstSplitPercent = 25;
constexpr int lastSplitPercent = 75;
constexpr double splitMargin = 0.01;
constexpr std::size_t minimumColumnLines = 4;
// Up to this many lines, a page may have at most two lines crossing its gutter; longer pages
// allow a tenth of their lines.
constexpr std::size_t shortPageLines = 19;
constexpr std::size_t shortPageStraddlers = 2;

double minX(const Line& line) {
    return line.bounds.x;
}
double maxX(const Line& line) {
    return line.bounds.x + line.bounds.width;
}
double midY(const Line& line) {
    return line.bounds.y + line.bounds.height / 2;
}

bool isPlaceable(const Line& line) {
    return std::isfinite(line.bounds.x) && std::isfinite(line.bounds.y) &&
           std::isfinite(line.bounds.width) && std::isfinite(line.bounds.height) &&
           std::isfinite(maxX(line)) && std::isfinite(midY(line));
}

bool isLeftOf(const Line& line, double split) {
    return maxX(line) < split - splitMargin;
}
bool isRightOf(const Line& line, double split) {
    return minX(line) > split + splitMargin;
}

// Vertical centres in the same hundredth of the height form one row.
double rowOf(const Line& line) {
    return std::round(midY(line) * 100);
}

void sortRows(std::vector<Line>& lines) {
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        const double rowA = rowOf(a);
        const double rowB = rowOf(b);
        if (rowA != rowB) return rowA > rowB;
        return minX(a) < minX(b);
    });
}

std::size_t allowedStraddlers(std::size_t lineCount) {
    return lineCount <= shortPageLines ? shortPageStraddlers : lineCount / 10;
}

// The score of splitting at `split`, when the split makes two columns: the wider the gutter
// and the fuller the smaller column, the better; every crossing line counts against it.
std::optional<double> splitScore(const std::vector<Line>& lines, double split) {
    std::size_t left = 0;
    std::size_t right = 0;
    double leftEdge = 0;
    double rightEdge = 0;
    for (const Line& line : lines) {
        if (isLeftOf(line, split)) {
            leftEdge = left++ == 0 ? maxX(line) : std::max(leftEdge, maxX(line));
        } else if (isRightOf(line, split)) {
            rightEdge = right++ == 0 ? minX(line) : std::min(rightEdge, minX(line));
        }
    }
    if (left < minimumColumnLines || right < minimumColumnLines) return std::nullopt;
    const std::size_t straddling = lines.size() - left - right;
    if (straddling > allowedStraddlers(lines.size())) return std::nullopt;
    const double gap = rightEdge - leftEdge;
    return gap * static_cast<double>(std::min(left, right)) / static_cast<double>(straddling + 1);
}

// The best gutter; among equal scores the leftmost.
std::optional<double> bestSplit(const std::vector<Line>& lines) {
    std::optional<double> best;
    double bestScore = 0;
    for (int percent = firstSplitPercent; percent <= lastSplitPercent; ++percent) {
        const double split = percent / 100.0;
        const auto score = splitScore(lines, split);
        if (score && (!best || *score > bestScore)) {
            best = split;
            bestScore = *score;
        }
    }
    return best;
}

std::vector<Line> inColumns(std::vector<Line> lines, double split) {
    std::vector<Line> left, right, spanning;
    for (Line& line : lines) {
        if (isLeftOf(line, split)) {
            left.push_back(std::move(line));
        } else if (isRightOf(line, split)) {
            right.push_back(std::move(line));
        } else {
            spanning.push_back(std::move(line));
        }
    }
    // Crossing lines above the middle of the columns are headings, the others footers.
    std::vector<double> centres;
    for (const auto* column : {&left, &right})
        for (const Line& line : *column) centres.push_back(midY(line));
    std::sort(centres.begin(), centres.end());
    const double median = centres[centres.size() / 2];
    std::vector<Line> top, bottom;
    for (Line& line : spanning) (midY(line) >= median ? top : bottom).push_back(std::move(line));

    std::vector<Line> result;
    result.reserve(lines.size());
    for (auto* part : {&top, &left, &right, &bottom}) {
        sortRows(*part);
        std::move(part->begin(), part->end(), std::back_inserter(result));
    }
    return result;
}

}  // namespace

std::vector<Line> ordered(std::vector<Line> lines) {
    const auto unplaceable = std::stable_partition(lines.begin(), lines.end(), isPlaceable);
    std::vector<Line> misplaced(std::make_move_iterator(unplaceable),
                                std::make_move_iterator(lines.end()));
    lines.erase(unplaceable, lines.end());

    std::vector<Line> result;
    if (const auto split = bestSplit(lines)) {
        result = inColumns(std::move(lines), *split);
    } else {
        result = std::move(lines);
        sortRows(result);
    }
    std::move(misplaced.begin(), misplaced.end(), std::back_inserter(result));
    return result;
}

}  // namespace lumora::ScreenText
