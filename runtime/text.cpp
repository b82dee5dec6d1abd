#include "runtime/text.h"

#include <simdjson.h>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace lumora::text {

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Walks grapheme boundaries over UTF-8 without copying; boundaries are byte offsets.
class GraphemeWalker {
  public:
    explicit GraphemeWalker(std::string_view utf8) {
        UErrorCode status = U_ZERO_ERROR;
        text_ = utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
        breaker_ = ubrk_open(UBRK_CHARACTER, nullptr, nullptr, 0, &status);
        ubrk_setUText(breaker_, text_, &status);
        ok_ = U_SUCCESS(status);
    }
    ~GraphemeWalker() {
        if (breaker_) ubrk_close(breaker_);
        if (text_) utext_close(text_);
    }
    GraphemeWalker(const GraphemeWalker&) = delete;
    GraphemeWalker& operator=(const GraphemeWalker&) = delete;

    bool ok() const { return ok_; }
    // Next boundary after the start, or -1 at the end.
    int32_t next() { return ubrk_next(breaker_); }

  private:
    UText* text_ = nullptr;
    UBreakIterator* breaker_ = nullptr;
    bool ok_ = false;
};

// In ASCII only a carriage return followed by a line feed joins two bytes into one character.
std::size_t asciiPrefixBytes(std::string_view text, std::size_t count) {
    std::size_t bytes = 0;
    for (std::size_t n = 0; n < count && bytes < text.size(); ++n) {
        bytes +=
            (text[bytes] == '\r' && bytes + 1 < text.size() && text[bytes + 1] == '\n') ? 2 : 1;
    }
    return bytes;
}

struct Decoded {
    char32_t codePoint;
    std::size_t begin;
    std::size_t end;
};

template <class Visit>
void forEachCodePoint(std::string_view utf8, Visit visit) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    int32_t i = 0;
    while (i < length) {
        int32_t start = i;
        UChar32 c;
        U8_NEXT_OR_FFFD(bytes, i, length, c);
        if (!visit(Decoded{static_cast<char32_t>(c), static_cast<std::size_t>(start),
                           static_cast<std::size_t>(i)})) {
            return;
        }
    }
}

// How many bytes of `word` have their top bit set, when no other bit is: each byte moved down to
// 0 or 1, then all eight summed into the top byte by one multiplication (without needing a
// population-count instruction the baseline processor may lack).
std::size_t countTopBits(std::uint64_t word) {
    return static_cast<std::size_t>(((word >> 7) * 0x0101010101010101ULL) >> 56);
}

// UTF-16 units of well-formed UTF-8: one per byte that is not a continuation byte (10xxxxxx),
// plus one more per four-byte lead (11110xxx). Fields are measured on every streamed character,
// so eight bytes are classified at a time, each byte's top bit standing for the whole byte.
std::size_t wellFormedUtf16Length(std::string_view utf8) {
    constexpr std::uint64_t topBits = 0x8080808080808080ULL;
    std::size_t units = 0;
    std::size_t i = 0;
    for (; i + 8 <= utf8.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, utf8.data() + i, sizeof word);
        std::uint64_t continuation = word & ~(word << 1) & topBits;
        std::uint64_t fourByteLead = word & (word << 1) & (word << 2) & (word << 3) & topBits;
        units += 8 - countTopBits(continuation) + countTopBits(fourByteLead);
    }
    for (; i < utf8.size(); ++i) {
        auto byte = static_cast<unsigned char>(utf8[i]);
        units += static_cast<std::size_t>((byte & 0xC0) != 0x80) + (byte >= 0xF0);
    }
    return units;
}

}  // namespace

std::size_t characterCount(std::string_view utf8) {
    if (isAscii(utf8)) {
        std::size_t pairs = 0;
        for (std::size_t i = 0; i + 1 < utf8.size(); ++i) {
            if (utf8[i] == '\r' && utf8[i + 1] == '\n') ++pairs;
        }
        return utf8.size() - pairs;
    }
    GraphemeWalker walker(utf8);
    if (!walker.ok()) return utf8.size();
    std::size_t count = 0;
    while (walker.next() != UBRK_DONE) ++count;
    return count;
}

std::string_view characterPrefix(std::string_view utf8, std::size_t count) {
    if (count == 0) return utf8.substr(0, 0);
    if (isAscii(utf8)) return utf8.substr(0, asciiPrefixBytes(utf8, count));
    GraphemeWalker walker(utf8);
    if (!walker.ok()) return utf8;
    int32_t boundary = 0;
    for (std::size_t n = 0; n < count; ++n) {
        int32_t next = walker.next();
        if (next == UBRK_DONE) return utf8;
        boundary = next;
    }
    return utf8.substr(0, static_cast<std::size_t>(boundary));
}

std::vector<std::size_t> characterEnds(std::string_view utf8) {
    std::vector<std::size_t> ends;
    if (isAscii(utf8)) {
        for (std::size_t end = 0; end < utf8.size();) {
            end += asciiPrefixBytes(utf8.substr(end), 1);
            ends.push_back(end);
        }
        return ends;
    }
    GraphemeWalker walker(utf8);
    if (!walker.ok()) return ends;
    for (int32_t next = walker.next(); next != UBRK_DONE; next = walker.next()) {
        ends.push_back(static_cast<std::size_t>(next));
    }
    return ends;
}

std::size_t utf16Length(std::string_view utf8) {
    if (isValidUtf8(utf8)) return wellFormedUtf16Length(utf8);
    std::size_t units = 0;
    forEachCodePoint(utf8, [&](const Decoded& d) {
        units += U16_LENGTH(static_cast<UChar32>(d.codePoint));
        return true;
    });
    return units;
}

std::size_t byteOffsetOfUtf16(std::string_view utf8, std::size_t units) {
    if (isValidUtf8(utf8)) {
        std::size_t counted = 0;
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            auto byte = static_cast<unsigned char>(utf8[i]);
            if ((byte & 0xC0) == 0x80) continue;
            counted += byte >= 0xF0 ? 2 : 1;
            if (counted > units) return i;
        }
        return utf8.size();
    }
    std::size_t counted = 0;
    std::size_t offset = utf8.size();
    forEachCodePoint(utf8, [&](const Decoded& d) {
        counted += U16_LENGTH(static_cast<UChar32>(d.codePoint));
        if (counted <= units) return true;
        offset = d.begin;
        return false;
    });
    return offset;
}

namespace {

bool startsCodePoint(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

std::size_t byteOffsetOfCodePoint(std::string_view utf8, std::size_t points) {
    std::size_t counted = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (!startsCodePoint(utf8[i])) continue;
        if (counted == points) return i;
        ++counted;
    }
    return utf8.size();
}

}  // namespace

std::size_t utf16OffsetOfCodePoint(std::string_view utf8, std::size_t points) {
    return utf16Length(utf8.substr(0, byteOffsetOfCodePoint(utf8, points)));
}

std::size_t codePointOffsetOfUtf16(std::string_view utf8, std::size_t units) {
    std::string_view prefix = utf8.substr(0, byteOffsetOfUtf16(utf8, units));
    return static_cast<std::size_t>(std::count_if(prefix.begin(), prefix.end(), startsCodePoint));
}

std::string_view utf16Slice(std::string_view utf8, std::size_t location, std::size_t length) {
    std::size_t begin = byteOffsetOfUtf16(utf8, location);
    std::size_t end = byteOffsetOfUtf16(utf8, location + std::min(length, SIZE_MAX - location));
    return utf8.substr(begin, end - begin);
}

bool isWhitespaceOrNewline(char32_t c) {
    if ((c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85) return true;
    if (c < 0x80) return false;
    auto type = u_charType(static_cast<UChar32>(c));
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

std::string_view trimWhitespaceAndNewlines(std::string_view utf8) {
    std::size_t first = utf8.size();
    std::size_t last = 0;
    forEachCodePoint(utf8, [&](const Decoded& d) {
        if (!isWhitespaceOrNewline(d.codePoint)) {
            first = std::min(first, d.begin);
            last = d.end;
        }
        return true;
    });
    if (first >= last) return utf8.substr(0, 0);
    return utf8.substr(first, last - first);
}

bool isBlank(std::string_view utf8) {
    bool blank = true;
    forEachCodePoint(utf8, [&](const Decoded& d) {
        blank = isWhitespaceOrNewline(d.codePoint);
        return blank;
    });
    return blank;
}

std::vector<std::string_view> splitAtWhitespace(std::string_view utf8) {
    std::vector<std::string_view> pieces;
    std::size_t pieceStart = std::string_view::npos;
    forEachCodePoint(utf8, [&](const Decoded& d) {
        bool space = isWhitespaceOrNewline(d.codePoint);
        if (space && pieceStart != std::string_view::npos) {
            pieces.push_back(utf8.substr(pieceStart, d.begin - pieceStart));
            pieceStart = std::string_view::npos;
        } else if (!space && pieceStart == std::string_view::npos) {
            pieceStart = d.begin;
        }
        return true;
    });
    if (pieceStart != std::string_view::npos) pieces.push_back(utf8.substr(pieceStart));
    return pieces;
}

bool isValidUtf8(std::string_view bytes) {
    return simdjson::validate_utf8(bytes.data(), bytes.size());
}

std::string sanitizeUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    std::string clean;
    clean.reserve(bytes.size() + 16);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int32_t>(bytes.size());
    int32_t i = 0;
    while (i < length) {
        int32_t start = i;
        UChar32 c;
        U8_NEXT(data, i, length, c);
        if (c < 0) {
            clean += "\xEF\xBF\xBD";
        } else {
            clean.append(bytes.substr(start, i - start));
        }
    }
    return clean;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string result;
    if (from.empty()) return std::string(text);
    std::size_t position = 0;
    while (true) {
        std::size_t found = text.find(from, position);
        if (found == std::string_view::npos) break;
        result.append(text.substr(position, found - position));
        result.append(to);
        position = found + from.size();
    }
    result.append(text.substr(position));
    return result;
}

}  // namespace lumora::text
