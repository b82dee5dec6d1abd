#include "runtime/uuid.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace lumora {
namespace {

constexpr std::array<std::uint8_t, 16> sequence = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                                   0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

TEST(Uuid, ParsesEitherCaseIntoTheSameBytes) {
    for (const char* text :
         {"00112233-4455-6677-8899-aabbccddeeff", "00112233-4455-6677-8899-AABBCCDDEEFF",
          "00112233-4455-6677-8899-aAbBcCdDeEfF"}) {
        SCOPED_TRACE(text);
        auto uuid = Uuid::parse(text);
        ASSERT_TRUE(uuid.has_value());
        EXPECT_EQ(uuid->bytes, sequence);
        EXPECT_EQ(uuid->string(), "00112233-4455-6677-8899-AABBCCDDEEFF");
    }
}

TEST(Uuid, RejectsAnythingButTheHyphenatedForm) {
    const std::vector<std::string> invalid = {
        "",
        "00112233-4455-6677-8899-aabbccddeef",    // one digit short
        "00112233-4455-6677-8899-aabbccddeeff0",  // one digit long
        "00112233445566778899aabbccddeeff",       // no hyphens
        "0011223-34455-6677-8899-aabbccddeeff",   // hyphen one early
        "001122334-455-6677-8899-aabbccddeeff",   // hyphen one late
        "00112233-4455-66778-899-aabbccddeeff",
        "00112233-4455-6677-88990aabbccddeeff",  // digit where a hyphen belongs
        "00112233-4455-6677-8899-aabbccddeefg",  // not hexadecimal
        "0011223g-4455-6677-8899-aabbccddeeff",
        "00112233-4455-6677-8899-aabbccddee f",
        "00112233_4455_6677_8899_aabbccddeeff",
        "{00112233-4455-6677-8899-aabbccddeeff}",
        " 00112233-4455-6677-8899-aabbccddeef",
        "+0112233-4455-6677-8899-aabbccddeeff",
        "00112233-4455-6677-8899-aabbccddeef\xC3",
    };
    for (const auto& text : invalid) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Uuid::parse(text), std::nullopt);
    }
}

TEST(Uuid, RandomIsVersionFourUpperCaseAndRoundTrips) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        Uuid uuid = Uuid::random();
        EXPECT_EQ(uuid.bytes[6] >> 4, 4);
        EXPECT_EQ(uuid.bytes[8] >> 6, 0b10);

        std::string text = uuid.string();
        ASSERT_EQ(text.size(), 36u);
        EXPECT_EQ(text[14], '4');
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        for (char c : text) {
            EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '-') << text;
        }
        EXPECT_EQ(Uuid::parse(text), uuid);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(Uuid, StringPlacesHyphensAtEightFourFourFourTwelve) {
    Uuid uuid;
    uuid.bytes = sequence;
    std::string text = uuid.string();
    EXPECT_EQ(text, "00112233-4455-6677-8899-AABBCCDDEEFF");
    EXPECT_EQ(Uuid{}.string(), "00000000-0000-0000-0000-000000000000");
}

}  // namespace
}  // namespace lumora
