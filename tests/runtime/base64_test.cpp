#include "runtime/base64.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace lumora::base64
