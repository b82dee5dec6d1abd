#include "runtime/event_loop.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lumora {
namespace {

using Fired = std::vector<std::pair<std::string, double>>;

class ManualLoopTest : public ::testing::Test {
  protected:
    // Records the action's name with the loop time at which it ran.
    std::function<void()> record(std::string name) {
        return [this, name] { fired.emplace_back(name, loop.now()); };
    }

    ManualClock clock{1000.0};
    EventLoop loop{clock};
    Fired fired;
};

TEST_F(ManualLoopTest, RunUntilIdleRunsWhatWasReadyAndLeavesWhatThatPostsForTheNextCall) {
    std::vector<std::string> ran;
    loop.post([&] {
        ran.push_back("a");
        loop.post([&] {
            ran.push_back("c");
            loop.post([&] { ran.push_back("e"); });
        });
    });
    loop.post([&] {
        ran.push_back("b");
        loop.post([&] { ran.push_back("d"); });
    });

    EXPECT_EQ(loop.runUntilIdle(), 2u);
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(loop.pendingCount(), 2u);
    EXPECT_EQ(loop.runUntilIdle(), 2u);
    EXPECT_EQ(loop.runUntilIdle(), 1u);
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(loop.runUntilIdle(), 0u);
    EXPECT_EQ(loop.now(), 1000.0);
}

TEST_F(ManualLoopTest, WorkThatRepostsItselfRunsOncePerCallAndFailsAnAdvance) {
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        loop.post(again);
    };
    loop.post(again);
    EXPECT_EQ(loop.runUntilIdle(), 1u);
    EXPECT_EQ(loop.runUntilIdle(), 1u);
    EXPECT_EQ(runs, 2);
    EXPECT_THROW(loop.advance(1.0), std::runtime_error);
}

TEST_F(ManualLoopTest, RunUntilIdleFiresOnlyTimersDueNowAndKeepsTheClock) {
    Timer now(loop), later(loop);
    now.start(0.0, record("now"));
    later.start(0.5, record("later"));

    EXPECT_EQ(loop.runUntilIdle(), 1u);
    EXPECT_EQ(fired, (Fired{{"now", 1000.0}}));
    EXPECT_EQ(loop.now(), 1000.0);
    EXPECT_FALSE(now.isRunning());
    EXPECT_TRUE(later.isRunning());
}

TEST_F(ManualLoopTest, AdvanceFiresTimersByDueTimeThenStartOrderAtTheirDueTimes) {
    Timer late(loop), tieFirst(loop), early(loop), tieSecond(loop);
    late.start(3.0, record("late"));
    tieFirst.start(1.5, record("tieFirst"));
    early.start(0.5, record("early"));
    tieSecond.start(1.5, record("tieSecond"));

    loop.advance(5.0);

    EXPECT_EQ(
        fired,
        (Fired{{"early", 1000.5}, {"tieFirst", 1001.5}, {"tieSecond", 1001.5}, {"late", 1003.0}}));
    EXPECT_EQ(loop.now(), 1005.0);
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST_F(ManualLoopTest, AdvanceRunsWorkPostedByATimerBeforeTheNextTimer) {
    Timer first(loop), second(loop), chained(loop);
    first.start(1.0, [&] {
        fired.emplace_back("first", loop.now());
        loop.post(record("posted by first"));
        chained.start(0.25, record("chained"));
    });
    second.start(2.0, record("second"));

    loop.advance(3.0);

    EXPECT_EQ(fired, (Fired{{"first", 1001.0},
                            {"posted by first", 1001.0},
                            {"chained", 1001.25},
                            {"second", 1002.0}}));
}

TEST_F(ManualLoopTest, TimerDueExactlyAtTheEndOfAnAdvanceFires) {
    Timer timer(loop);
    timer.start(2.0, record("timer"));

    loop.advance(1.0);
    EXPECT_TRUE(fired.empty());
    loop.advance(1.0);
    EXPECT_EQ(fired, (Fired{{"timer", 1002.0}}));
}

TEST_F(ManualLoopTest, NextDelayAndPendingCountDescribeWhatIsArmed) {
    EXPECT_EQ(loop.nextDelay(), std::nullopt);
    EXPECT_EQ(loop.pendingCount(), 0u);

    Timer soon(loop), later(loop);
    later.start(2.0, [] {});
    soon.start(0.5, [] {});
    loop.post([] {});
    EXPECT_EQ(loop.pendingCount(), 3u);
    EXPECT_EQ(loop.nextDelay(), 0.5);

    loop.advance(0.25);
    EXPECT_EQ(loop.pendingCount(), 2u);
    EXPECT_EQ(loop.nextDelay(), 0.25);

    loop.advance(0.25);
    EXPECT_EQ(loop.pendingCount(), 1u);
    EXPECT_EQ(loop.nextDelay(), 1.5);

    later.stop();
    EXPECT_EQ(loop.pendingCount(), 0u);
    EXPECT_EQ(loop.nextDelay(), std::nullopt);
}

TEST_F(ManualLoopTest, OverdueTimerReportsNoDelayAndFiresOnTheNextTurn) {
    Timer timer(loop);
    timer.start(1.0, record("timer"));
    clock.setContinuous(1010.0);

    EXPECT_EQ(loop.nextDelay(), 0.0);
    EXPECT_EQ(loop.runUntilIdle(), 1u);
    EXPECT_EQ(fired, (Fired{{"timer", 1010.0}}));
}

struct RepeatCase {
    double interval;
    double span;
    int fires;
};

void PrintTo(const RepeatCase& c, std::ostream* out) {
    *out << "every " << c.interval << " s for " << c.span << " s";
}

class RepeatingTimerTest : public ManualLoopTest,
                           public ::testing::WithParamInterface<RepeatCase> {};

TEST_P(RepeatingTimerTest, FiresOncePerIntervalWithinAnAdvance) {
    const RepeatCase& c = GetParam();
    Timer timer(loop);
    std::vector<double> times;
    timer.startRepeating(c.interval, [&] { times.push_back(loop.now()); });

    loop.advance(c.span);

    ASSERT_EQ(static_cast<int>(times.size()), c.fires);
    for (int k = 0; k < c.fires; ++k) {
        EXPECT_NEAR(times[k], 1000.0 + (k + 1) * c.interval, 1e-9) << "fire " << k;
    }
    EXPECT_EQ(loop.now(), 1000.0 + c.span);
    EXPECT_TRUE(timer.isRunning());
    EXPECT_EQ(loop.runUntilIdle(), 0u);

    // The count stays exact over a second span too: no drift from adding the interval up.
    loop.advance(c.span);
    EXPECT_EQ(static_cast<int>(times.size()), 2 * c.fires);
}

INSTANTIATE_TEST_SUITE_P(Intervals, RepeatingTimerTest,
                         ::testing::Values(RepeatCase{0.04, 1.0, 25}, RepeatCase{0.1, 1.0, 10},
                                           RepeatCase{0.25, 1.0, 4}, RepeatCase{0.3, 1.0, 3},
                                           RepeatCase{0.7, 1.0, 1}, RepeatCase{1.0, 1.0, 1},
                                           RepeatCase{0.04, 90.0, 2250}));

TEST_F(ManualLoopTest, RepeatingTimerKeepsTheLoopIdleBetweenFires) {
    Timer poll(loop);
    int fires = 0;
    poll.startRepeating(0.04, [&] { ++fires; });

    EXPECT_EQ(loop.runUntilIdle(), 0u);
    EXPECT_EQ(fires, 0);
    EXPECT_EQ(loop.pendingCount(), 1u);
    EXPECT_NEAR(*loop.nextDelay(), 0.04, 1e-9);

    loop.advance(0.04);
    EXPECT_EQ(fires, 1);
    EXPECT_EQ(loop.runUntilIdle(), 0u);
    EXPECT_EQ(fires, 1);
    EXPECT_NEAR(*loop.nextDelay(), 0.04, 1e-9);
}

TEST_F(ManualLoopTest, RepeatingTimerWithoutIntervalDoesNotSpin) {
    Timer timer(loop);
    int fires = 0;
    timer.startRepeating(0.0, [&] { ++fires; });

    EXPECT_EQ(loop.runUntilIdle(), 0u);
    loop.advance(0.001);
    EXPECT_EQ(fires, 1000);
}

TEST_F(ManualLoopTest, RepeatingTimerStoppedByItsOwnActionStops) {
    Timer timer(loop);
    int fires = 0;
    timer.startRepeating(0.5, [&] {
        if (++fires == 3) timer.stop();
    });

    loop.advance(10.0);
    EXPECT_EQ(fires, 3);
    EXPECT_FALSE(timer.isRunning());
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST_F(ManualLoopTest, StoppedTimerNeverFires) {
    Timer timer(loop);
    timer.start(1.0, record("timer"));
    EXPECT_TRUE(timer.isRunning());
    timer.stop();
    EXPECT_FALSE(timer.isRunning());
    timer.stop();  // stopping twice is harmless

    loop.advance(5.0);
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST_F(ManualLoopTest, DestroyedTimerNeverFires) {
    auto timer = std::make_unique<Timer>(loop);
    timer->start(1.0, record("timer"));
    Timer other(loop);
    other.start(2.0, record("other"));
    timer.reset();

    EXPECT_EQ(loop.pendingCount(), 1u);
    loop.advance(5.0);
    EXPECT_EQ(fired, (Fired{{"other", 1002.0}}));
}

TEST_F(ManualLoopTest, TimerStoppedByAnEarlierTimerWithTheSameDueTimeDoesNotFire) {
    Timer first(loop), second(loop);
    first.start(1.0, [&] {
        fired.emplace_back("first", loop.now());
        second.stop();
    });
    second.start(1.0, record("second"));

    loop.advance(2.0);
    EXPECT_EQ(fired, (Fired{{"first", 1001.0}}));
}

TEST_F(ManualLoopTest, TimerDestroyedByAnEarlierTimerDoesNotFire) {
    auto second = std::make_unique<Timer>(loop);
    Timer first(loop);
    first.start(1.0, [&] { second.reset(); });
    second->start(1.5, record("second"));

    loop.advance(2.0);
    EXPECT_TRUE(fired.empty());
}

TEST_F(ManualLoopTest, RestartingARunningTimerReplacesItsDueTimeAndAction) {
    Timer timer(loop);
    timer.start(1.0, record("old"));
    loop.advance(0.5);
    timer.start(1.0, record("new"));

    loop.advance(0.75);
    EXPECT_TRUE(fired.empty());
    loop.advance(1.0);
    EXPECT_EQ(fired, (Fired{{"new", 1001.5}}));
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST_F(ManualLoopTest, RestartedTimerGoesBehindTimersDueAtTheSameTime) {
    Timer a(loop), b(loop);
    a.start(1.0, record("a"));
    b.start(1.0, record("b"));
    a.start(1.0, record("a"));

    loop.advance(1.0);
    EXPECT_EQ(fired, (Fired{{"b", 1001.0}, {"a", 1001.0}}));
}

TEST_F(ManualLoopTest, RestartingARepeatingTimerAsOneShotFiresOnce) {
    Timer timer(loop);
    timer.startRepeating(0.5, record("repeat"));
    loop.advance(0.5);
    timer.start(0.25, record("once"));

    loop.advance(5.0);
    EXPECT_EQ(fired, (Fired{{"repeat", 1000.5}, {"once", 1000.75}}));
    EXPECT_FALSE(timer.isRunning());
}

TEST_F(ManualLoopTest, OneShotTimerRestartedByItsOwnActionKeepsFiring) {
    Timer timer(loop);
    std::function<void()> again = [&] {
        fired.emplace_back("tick", loop.now());
        timer.start(1.0, again);
    };
    timer.start(1.0, again);

    loop.advance(3.5);
    EXPECT_EQ(fired, (Fired{{"tick", 1001.0}, {"tick", 1002.0}, {"tick", 1003.0}}));
    EXPECT_TRUE(timer.isRunning());
}

TEST_F(ManualLoopTest, TimerActionMayDestroyItsOwnTimer) {
    auto timer = std::make_unique<Timer>(loop);
    auto owned = std::make_shared<int>(7);
    int seen = 0;
    timer->start(1.0, [&, owned] {
        timer.reset();
        seen = *owned;  // the action stays alive until it returns
    });

    loop.advance(2.0);
    EXPECT_EQ(seen, 7);
    EXPECT_EQ(timer, nullptr);
    EXPECT_EQ(owned.use_count(), 1);
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST_F(ManualLoopTest, RepeatingTimerActionMayDestroyItsOwnTimer) {
    auto timer = std::make_unique<Timer>(loop);
    int fires = 0;
    timer->startRepeating(0.5, [&] {
        if (++fires == 2) timer.reset();
    });

    loop.advance(3.0);
    EXPECT_EQ(fires, 2);
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST_F(ManualLoopTest, FailingWorkIsContainedAndLaterWorkStillRuns) {
    std::vector<std::string> ran;
    Timer timer(loop);
    timer.start(1.0, [] { throw std::runtime_error("timer failure"); });
    loop.post([] { throw std::runtime_error("posted failure"); });
    loop.post([&] { ran.push_back("after"); });

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(loop.runUntilIdle(), 2u);
    loop.advance(1.0);
    std::string log = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(ran, (std::vector<std::string>{"after"}));
    EXPECT_EQ(log,
              "lumora: unhandled error on the main loop: posted failure\n"
              "lumora: unhandled error on the main loop: timer failure\n");
}

TEST_F(ManualLoopTest, PostsFromOtherThreadsArriveInEachThreadsOrder) {
    constexpr int threads = 4;
    constexpr int perThread = 250;
    std::vector<std::vector<int>> received(threads);
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) loop.post([&, t, i] { received[t].push_back(i); });
        });
    }
    for (auto& poster : posters) poster.join();

    EXPECT_EQ(loop.pendingCount(), static_cast<std::size_t>(threads * perThread));
    EXPECT_EQ(loop.runUntilIdle(), static_cast<std::size_t>(threads * perThread));
    for (int t = 0; t < threads; ++t) {
        ASSERT_EQ(received[t].size(), static_cast<std::size_t>(perThread));
        for (int i = 0; i < perThread; ++i) EXPECT_EQ(received[t][i], i);
    }
}

TEST(EventLoopLifetime, DestroyingTheLoopDropsUnrunWorkAndDisarmsTimers) {
    ManualClock clock;
    auto loop = std::make_unique<EventLoop>(clock);
    auto captured = std::make_shared<int>(1);
    bool ran = false;
    loop->post([captured, &ran] { ran = true; });
    auto timer = std::make_unique<Timer>(*loop);
    timer->start(1.0, [captured] {});
    EXPECT_EQ(captured.use_count(), 3);

    loop.reset();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(timer->isRunning());
    timer.reset();  // a timer outliving its loop must not touch it
    EXPECT_EQ(captured.use_count(), 1);
}

TEST(RealLoop, QuitPostedFromAnotherThreadEndsRunAfterEarlierWork) {
    SystemClock clock;
    EventLoop loop(clock);
    std::vector<int> ran;
    std::thread poster([&] {
        for (int i = 0; i < 3; ++i) loop.post([&, i] { ran.push_back(i); });
        loop.post([&] { loop.quit(); });
    });
    loop.run();
    poster.join();
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
}

// The loop may be destroyed as soon as the work a thread posted has run, while that thread is
// still returning from the post; the thread checker sees any touch of the dead loop.
TEST(RealLoop, ALoopMayEndAsSoonAsWorkPostedFromAnotherThreadHasRun) {
    for (int round = 0; round < 200; ++round) {
        SystemClock clock;
        auto loop = std::make_unique<EventLoop>(clock);
        EventLoop* running = loop.get();
        std::thread poster([running] { running->post([running] { running->quit(); }); });
        loop->run();
        loop.reset();
        poster.join();
    }
}

TEST(RealLoop, PostFromAnotherThreadWakesALoopWaitingForAFarTimer) {
    SystemClock clock;
    EventLoop loop(clock);
    Timer far(loop);
    bool farFired = false;
    far.start(3600.0, [&] { farFired = true; });
    bool posted = false;
    std::thread poster([&] {
        loop.post([&] {
            posted = true;
            loop.quit();
        });
    });
    loop.run();
    poster.join();
    EXPECT_TRUE(posted);
    EXPECT_FALSE(farFired);
    EXPECT_TRUE(far.isRunning());
}

TEST(RealLoop, FiresTimersInDueOrder) {
    SystemClock clock;
    EventLoop loop(clock);
    std::vector<std::string> fired;
    Timer repeating(loop), first(loop), second(loop);
    int ticks = 0;
    // Started in due order, so the order holds however slowly the calls run.
    repeating.startRepeating(0.0005, [&] {
        if (++ticks == 2) {
            fired.push_back("repeating");
            repeating.stop();
        }
    });
    first.start(0.002, [&] { fired.push_back("first"); });
    second.start(0.004, [&] {
        fired.push_back("second");
        loop.quit();
    });
    loop.run();
    EXPECT_EQ(fired, (std::vector<std::string>{"repeating", "first", "second"}));
}

}  // namespace
}  // namespace lumora
