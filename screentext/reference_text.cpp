#include "screentext/reference_text.h"

#include "runtime/text.h"
#include "screentext/reading_order.h"

namespace lumora::ScreenText {

std::string reference(const std::vector<Line>& lines, std::size_t limit) {
    std::string result;
    // A piece ends with a line feed, after which a grapheme always breaks, so counts add up.
    std::size_t characters = 0;
    for (const Line& line : ordered(lines)) {
        const std::string piece = line.text + "\n";
        const std::size_t pieceCharacters = text::characterCount(piece);
        if (characters + pieceCharacters > limit) {
            if (characters + text::characterCount(truncationNotice) <= limit)
                result += truncationNotice;
            return result;
        }
        result += piece;
        characters += pieceCharacters;
    }
    return result;
}

}  // namespace lumora::ScreenText
