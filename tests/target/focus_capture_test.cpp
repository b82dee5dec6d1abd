// Resolving the focused element: a plain read, then enabling and polling only when allowed.
#include "assistant/target/focus_capture.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumora {
namespace {

struct Probe {
    int readsUntilFound = -1;  // -1: never found
    int activeChecksUntilInactive = -1;
    int reads = 0;
    int enables = 0;
    int waits = 0;
    int activeChecks = 0;

    std::optional<int> resolve(bool prepare) {
        return FocusCapture::resolve(
            prepare,
            [this] {
                ++activeChecks;
                return activeChecksUntilInactive < 0 || activeChecks < activeChecksUntilInactive;
            },
            [this]() -> std::optional<int> {
                ++reads;
                if (readsUntilFound >= 0 && reads >= readsUntilFound) return 7;
                return std::nullopt;
            },
            [this] {
                ++enables;
                return true;
            },
            [this] { ++waits; });
    }
};

TEST(FocusCaptureTest, AFirstReadThatSucceedsNeedsNoPreparation) {
    Probe probe{.readsUntilFound = 1};
    EXPECT_EQ(probe.resolve(true), 7);
    EXPECT_EQ(probe.reads, 1);
    EXPECT_EQ(probe.enables, 0);
    EXPECT_EQ(probe.waits, 0);
}

TEST(FocusCaptureTest, WithoutPrepareNeverEnablesOrWaits) {
    Probe probe;
    EXPECT_EQ(probe.resolve(false), std::nullopt);
    EXPECT_EQ(probe.reads, 1);
    EXPECT_EQ(probe.enables, 0);
    EXPECT_EQ(probe.waits, 0);
}

TEST(FocusCaptureTest, AfterEnablingPollsElevenReadsAndTenWaitsAtMost) {
    Probe never;
    EXPECT_EQ(never.resolve(true), std::nullopt);
    EXPECT_EQ(never.enables, 1);
    EXPECT_EQ(never.reads, 12);
    EXPECT_EQ(never.waits, 10);

    Probe lastChance{.readsUntilFound = 12};
    EXPECT_EQ(lastChance.resolve(true), 7);
    EXPECT_EQ(lastChance.waits, 10);

    Probe early{.readsUntilFound = 4};
    EXPECT_EQ(early.resolve(true), 7);
    EXPECT_EQ(early.waits, 2);
}

TEST(FocusCaptureTest, GivesUpAsSoonAsTheSourceIsNoLongerActive) {
    Probe inactive{.readsUntilFound = 1, .activeChecksUntilInactive = 1};
    EXPECT_EQ(inactive.resolve(true), std::nullopt);
    EXPECT_EQ(inactive.reads, 0);

    // Found, but the application left the front during the read.
    Probe leftDuringRead{.readsUntilFound = 1, .activeChecksUntilInactive = 2};
    EXPECT_EQ(leftDuringRead.resolve(true), std::nullopt);

    // Left while polling: no more reads after the failed check.
    Probe leftWhilePolling{.activeChecksUntilInactive = 4};
    EXPECT_EQ(leftWhilePolling.resolve(true), std::nullopt);
    EXPECT_EQ(leftWhilePolling.reads, 3);
    EXPECT_EQ(leftWhilePolling.waits, 2);
}

}  // namespace
}  // namespace lumora
