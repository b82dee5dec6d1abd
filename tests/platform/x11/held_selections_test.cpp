#include "platform/x11/held_selections.h"

#include <gtest/gtest.h>

#include <memory>

namespace lumora::x11 {
namespace {

SharedBytes bytes(std::string text) {
    return std::make_shared<const std::string>(std::move(text));
}

std::vector<HeldSelection> decodedAgain(const std::vector<HeldSelection>& selections) {
    std::optional<std::vector<HeldSelection>> decoded =
        decodeHeldSelections(encodeHeldSelections(selections));
    EXPECT_TRUE(decoded);
    return decoded.value_or(std::vector<HeldSelection>{});
}

TEST(HeldSelectionsTest, SelectionsCrossThePipeByteForByte) {
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    const std::vector<HeldSelection> sent = {
        {"CLIPBOARD", {{"public.utf8-plain-text", bytes("Caf\u00e9")}, {"image/png", bytes(png)}}},
        {"PRIMARY", {{"public.utf8-plain-text", bytes("")}}},
    };
    std::vector<HeldSelection> received = decodedAgain(sent);
    ASSERT_EQ(received.size(), 2u);
    for (std::size_t index = 0; index < sent.size(); ++index) {
        EXPECT_EQ(received[index].selection, sent[index].selection);
        ASSERT_EQ(received[index].item.size(), sent[index].item.size());
        for (std::size_t type = 0; type < sent[index].item.size(); ++type) {
            EXPECT_EQ(received[index].item[type].first, sent[index].item[type].first);
            EXPECT_EQ(*received[index].item[type].second, *sent[index].item[type].second);
        }
    }
}

TEST(HeldSelectionsTest, OnlyWholeInputDecodes) {
    const std::string whole =
        encodeHeldSelections({{"CLIPBOARD", {{"image/png", bytes("0123456789")}}}});
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        EXPECT_FALSE(decodeHeldSelections(whole.substr(0, cut))) << cut;
    }
    EXPECT_FALSE(decodeHeldSelections(whole + "x"));
    // A length beyond what follows.
    std::string huge = whole;
    huge[8 + 7] = '\x7f';  // the top byte of the name's length
    EXPECT_FALSE(decodeHeldSelections(huge));
}

}  // namespace
}  // namespace lumora::x11
