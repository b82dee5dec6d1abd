// Text as users and fields see it. Limits the system states "in characters" count
// user-perceived characters (extended grapheme clusters); positions in text fields count
// UTF-16 code units; everything is stored as UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lumora::text {

// Number of user-perceived characters.
std::size_t characterCount(std::string_view utf8);

// The first `count` user-perceived characters (all of the text when it has fewer).
std::string_view characterPrefix(std::string_view utf8, std::size_t count);

// Where each user-perceived character ends, as byte offsets: one walk over the text for callers
// that need many prefixes of it.
std::vector<std::size_t> characterEnds(std::string_view utf8);

// UTF-16 code units needed for the text.
std::size_t utf16Length(std::string_view utf8);

// Byte offset of the UTF-16 offset `units` (clamped to the end of the text). An offset that
// falls inside a surrogate pair resolves to the start of that character.
std::size_t byteOffsetOfUtf16(std::string_view utf8, std::size_t units);

// Offsets in well-formed UTF-8 text between code points, which accessibility toolkits count,
// and UTF-16 code units, which text fields report; both clamp to the end of the text, and a
// UTF-16 offset inside a surrogate pair resolves to the start of that character.
std::size_t utf16OffsetOfCodePoint(std::string_view utf8, std::size_t points);
std::size_t codePointOffsetOfUtf16(std::string_view utf8, std::size_t units);

// The UTF-8 text of the UTF-16 range [location, location + length), clamped to the text.
std::string_view utf16Slice(std::string_view utf8, std::size_t location, std::size_t length);

// White space and line breaks: tab, line feed through carriage return, U+0085 and the Unicode
// space, line and paragraph separators.
bool isWhitespaceOrNewline(char32_t codePoint);

std::string_view trimWhitespaceAndNewlines(std::string_view utf8);

// Nothing but white space and line breaks, or nothing at all.
bool isBlank(std::string_view utf8);

// Pieces between runs of white space and line breaks; empty pieces are dropped.
std::vector<std::string_view> splitAtWhitespace(std::string_view utf8);

// Replaces every ill-formed UTF-8 sequence by U+FFFD, as a platform line reader would.
std::string sanitizeUtf8(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace lumora::text
