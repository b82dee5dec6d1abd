#include "runtime/base64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace lumora::base64 {
namespace {

struct Vector {
    std::string bytes;
    std::string text;
};

TEST(Base64, EncodesAndDecodesTheStandardTestVectors) {
    const std::vector<Vector> vectors = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\0", 1), "AA=="},
        {std::string("\0\0\0", 3), "AAAA"},
        {"\xFB\xFF", "+/8="},
        {"\xFF\xFF\xFF", "////"},
        {"\xF8", "+A=="},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.text);
        EXPECT_EQ(encode(v.bytes), v.text);
        EXPECT_EQ(decode(v.text), v.bytes);
    }
}

TEST(Base64, RoundTripsEveryByteValueAtEveryLength) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        std::string input = bytes.substr(bytes.size() - length);
        std::string text = encode(input);
        EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
        EXPECT_EQ(decode(text), input) << text;
    }
}

TEST(Base64, StrictDecodingRejectsAnythingNotCanonicallyPadded) {
    const std::vector<std::string> invalid = {
        "Zg",  // missing padding
        "Zg=",        "Zm8",        "Z",        "Zm9vY",
        "Zm9v YmFy",  // white space anywhere
        "Zm9v\nYmFy", "Zm9vYg==\n", " Zg==",    "Zm9v\tYmFy",
        "Zg==Zg==",  // padding in the middle
        "Zg==Zm9v",   "Zm=v",       "=Zm9",     "Z===",
        "====",
        "Zm9v!mFy",  // characters outside the alphabet
        "Zm-v",       "Zm_v",       "Zm9v.A==", std::string("Zm\0v", 4),
        "Zm\xC3\xA9", "Zg=a",       "Z=g=",
    };
    for (const auto& text : invalid) {
        SCOPED_TRACE(::testing::PrintToString(text));
        EXPECT_EQ(decode(text), std::nullopt);
    }
}

TEST(Base64, RejectsAStrayCharacterAtEachPositionOfAFullOrPaddedGroup) {
    // One valid text per shape of last group, each spoilt at every position of both groups.
    for (const std::string valid : {"Zm9vYmFy", "Zm9vYmE=", "Zm9vYg=="}) {
        ASSERT_TRUE(decode(valid));
        const std::size_t characters = std::min(valid.find('='), valid.size());
        for (std::size_t at = 0; at < characters; ++at) {
            // '=' as the last character would only make a shorter valid text.
            for (const char stray : {'!', '-', '\x80', '\0', at < 4 ? '=' : '.'}) {
                std::string text = valid;
                text[at] = stray;
                SCOPED_TRACE(::testing::PrintToString(text));
                EXPECT_EQ(decode(text), std::nullopt);
            }
        }
    }
}

TEST(Base64, AcceptsOnlyOneOrTwoPaddingCharactersAtTheEnd) {
    for (const std::string padding : {"", "=", "==", "===", "===="}) {
        for (const std::string group : {"Zm9v", "Zm9", "Zm", "Z", ""}) {
            const std::string text = "Zm9v" + group + padding;
            const bool canonical = group.size() + padding.size() == 4 && padding.size() <= 2;
            SCOPED_TRACE(text);
            EXPECT_EQ(decode(text).has_value(), canonical || (group.empty() && padding.empty()));
        }
    }
}

TEST(Base64, RejectsEveryLengthThatIsNotAMultipleOfFour) {
    const std::string text = encode("any sixteen byte");
    for (std::size_t length = 0; length <= text.size(); ++length) {
        SCOPED_TRACE(length);
        EXPECT_EQ(decode(text.substr(0, length)).has_value(), length % 4 == 0);
    }
}

TEST(Base64, DecodesInPlaceAfterAPrefixAsDecodeDoes) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(255 - i);
    for (std::size_t length = 0; length <= bytes.size(); length += 37) {
        const std::string text = encode(bytes.substr(0, length));
        SCOPED_TRACE(text);
        EXPECT_EQ(decodeInPlace(text), bytes.substr(0, length));
        EXPECT_EQ(decodeInPlace("data:;base64," + text, 13), bytes.substr(0, length));
    }
    for (const std::string invalid : {"Zg", "Zm9v YmFy", "Zg==Zg==", "Zm9v!mFy", "===="}) {
        SCOPED_TRACE(invalid);
        EXPECT_EQ(decodeInPlace("prefix" + invalid, 6), std::nullopt);
    }
}

}  // namespace
}  // namespace lumora::base64
