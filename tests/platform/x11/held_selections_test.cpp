#include "platform/x11/held_selections.h"

#include <gtest/gtest.h>

#include <memory>

namespace lumora::x11 {
namespace {

SharedBytes bytes(std::string text) {
    return std::make_shared<const std::string>(std::move(text));
}

// What crosses the pipe whole is checked end to end, byte for byte, by the keeper's tests; a
// pipe cut short must give nothing to serve.
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
