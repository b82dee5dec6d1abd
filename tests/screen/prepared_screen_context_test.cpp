// The prepared capture in virtual time: collected by its own request only, failures passed on,
// and a caller that gives up takes the capture down with it.
#include "assistant/screen/prepared_screen_context.h"

#include <gtest/gtest.h>

#include "runtime/error.h"
#include "tests/support/virtual_time.h"

namespace lumora {
namespace {

// A window capture that takes a second, then fails or returns a 2x1 picture of the window.
struct SlowCapture {
    bool fails = false;
    bool finished = false;

    PreparedScreenContext::Capture operator()() {
        return [this](std::uint32_t windowID) -> Task<platform::Image> {
            co_await sleepFor(1);
            finished = true;
            if (fails) throw Error("Lumora.ScreenCapture", 1, "The window is gone.");
            co_return platform::Image{2, 1, std::vector<std::uint8_t>(8, windowID)};
        };
    }
};

struct Collected {
    std::optional<platform::Image> image;
    std::optional<std::string> failure;
    bool cancelled = false;
    bool done = false;
};

Task<void> collect(PreparedScreenContext& preparation, std::uint64_t id, Collected& into) {
    try {
        into.image = co_await preparation.value(id);
    } catch (const Cancelled&) {
        into.cancelled = true;
    } catch (const Error& error) {
        into.failure = error.description;
    }
    into.done = true;
}

TEST(PreparedScreenContextTest, OnlyItsRequestCollectsItAndFailuresArePassedOn) {
    for (bool fails : {false, true}) {
        test_support::VirtualTime time;
        SlowCapture capture{fails};
        PreparedScreenContext preparation(time.loop, 7, 42, capture());
        Collected other, own;
        TaskHandle otherWait = spawn(time.loop, collect(preparation, 8, other));
        TaskHandle ownWait = spawn(time.loop, collect(preparation, 7, own));
        time.settle();
        EXPECT_TRUE(other.done);
        EXPECT_FALSE(other.image || other.failure);
        EXPECT_FALSE(own.done);
        time.advance(1);
        ASSERT_TRUE(own.done);
        EXPECT_EQ(own.failure,
                  fails ? std::optional<std::string>("The window is gone.") : std::nullopt);
        EXPECT_EQ(own.image.has_value(), !fails);
    }
}

TEST(PreparedScreenContextTest, ACallerThatGivesUpCancelsTheCapture) {
    test_support::VirtualTime time;
    SlowCapture capture;
    PreparedScreenContext preparation(time.loop, 7, 42, capture());
    Collected own;
    TaskHandle wait = spawn(time.loop, collect(preparation, 7, own));
    time.advance(0.5);
    wait.cancel();
    time.advance(2);
    EXPECT_TRUE(own.cancelled);
    EXPECT_FALSE(capture.finished);
}

}  // namespace
}  // namespace lumora
