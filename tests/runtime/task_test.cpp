#include "runtime/task.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/async_stream.h"
#include "runtime/bridge.h"
#include "runtime/task_scope.h"

namespace lumora {
namespace {

using Log = std::vector<std::string>;

class TaskTest : public ::testing::Test {
  protected:
    ManualClock clock{1000.0};
    EventLoop loop{clock};
    Log log;
};

Task<int> answer() {
    co_return 42;
}

Task<int> doubled(Task<int> inner) {
    int value = co_await std::move(inner);
    co_return value * 2;
}

Task<std::string> textAfter(double seconds, std::string text) {
    co_await sleepFor(seconds);
    co_return text;
}

Task<std::unique_ptr<int>> boxed(int value) {
    co_return std::make_unique<int>(value);
}

Task<int> failAfter(double seconds) {
    co_await sleepFor(seconds);
    throw Error("Lumora", 7, "broken", {{"step", "child"}});
}

Task<int> forward(Task<int> inner) {
    co_return co_await std::move(inner);
}

Task<void> markStarted(bool& started) {
    started = true;
    co_return;
}

TEST_F(TaskTest, SpawnStartsTheTaskOnTheNextLoopTurn) {
    bool started = false;
    TaskHandle handle = spawn(loop, markStarted(started));
    EXPECT_FALSE(started);
    EXPECT_FALSE(handle.isDone());
    EXPECT_EQ(loop.pendingCount(), 1u);

    EXPECT_EQ(loop.runUntilIdle(), 1u);
    EXPECT_TRUE(started);
    EXPECT_TRUE(handle.isDone());
    EXPECT_FALSE(handle.isCancelled());
}

TEST(TaskHandleDefaults, AnEmptyHandleIsDoneAndIgnoresCancel) {
    TaskHandle handle;
    EXPECT_TRUE(handle.isDone());
    EXPECT_FALSE(handle.isCancelled());
    handle.cancel();
    EXPECT_FALSE(handle.isCancelled());
}

Task<void> nestedValues(Log& log) {
    int value = co_await doubled(doubled(answer()));
    log.push_back(std::to_string(value));
    std::unique_ptr<int> box = co_await boxed(5);
    log.push_back(std::to_string(*box));
    log.push_back(co_await textAfter(1.0, "slept"));
}

TEST_F(TaskTest, NestedTasksReturnTheirValues) {
    TaskHandle handle = spawn(loop, nestedValues(log));
    loop.runUntilIdle();
    EXPECT_EQ(log, (Log{"168", "5"}));
    EXPECT_FALSE(handle.isDone());

    loop.advance(1.0);
    EXPECT_EQ(log, (Log{"168", "5", "slept"}));
    EXPECT_TRUE(handle.isDone());
}

Task<void> catchNested(Log& log) {
    try {
        int value = co_await forward(forward(failAfter(0.5)));
        log.push_back("value " + std::to_string(value));
    } catch (const Error& error) {
        log.push_back(error.domain + " " + std::to_string(error.code) + " " + error.description +
                      " " + error.extra.at("step"));
    }
}

TEST_F(TaskTest, ExceptionsPropagateThroughNestedTasks) {
    spawn(loop, catchNested(log));
    loop.advance(1.0);
    EXPECT_EQ(log, (Log{"Lumora 7 broken child"}));
}

Task<void> failAtRoot() {
    co_await sleepFor(0.5);
    throw Error("Lumora", 3, "root failed");
}

TEST_F(TaskTest, AnErrorEndingARootTaskIsReportedAndTheLoopGoesOn) {
    TaskHandle failing = spawn(loop, failAtRoot());
    TaskHandle other = spawn(loop, nestedValues(log));

    ::testing::internal::CaptureStderr();
    loop.advance(1.0);
    std::string stderrText = ::testing::internal::GetCapturedStderr();

    EXPECT_TRUE(failing.isDone());
    EXPECT_TRUE(other.isDone());
    EXPECT_EQ(log, (Log{"168", "5", "slept"}));
    EXPECT_EQ(stderrText, "lumora: task ended with an error: root failed\n");
}

Task<void> sleepLogging(EventLoop& loop, double seconds, std::string name, Log& log) {
    try {
        co_await sleepFor(seconds);
        log.push_back(name + " woke at " + std::to_string(loop.now()));
    } catch (const Cancelled&) {
        log.push_back(name + " cancelled at " + std::to_string(loop.now()));
    }
}

TEST_F(TaskTest, SleepResumesExactlyAtItsDueTime) {
    TaskHandle handle = spawn(loop, sleepLogging(loop, 2.5, "sleeper", log));
    loop.runUntilIdle();
    EXPECT_EQ(loop.nextDelay(), 2.5);

    loop.advance(2.0);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(loop.nextDelay(), 0.5);

    loop.advance(0.5);
    EXPECT_EQ(log, (Log{"sleeper woke at 1002.500000"}));
    EXPECT_TRUE(handle.isDone());
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST_F(TaskTest, NinetySecondSleepEndsAtNinetySecondsAndNotBefore) {
    spawn(loop, sleepLogging(loop, 90.0, "timeout", log));
    loop.runUntilIdle();

    loop.advance(89.999);
    EXPECT_TRUE(log.empty());
    loop.advance(0.001);
    EXPECT_EQ(log, (Log{"timeout woke at 1090.000000"}));
}

TEST_F(TaskTest, ZeroSleepResumesOnTheNextTurnWithoutTime) {
    spawn(loop, sleepLogging(loop, 0.0, "zero", log));
    loop.runUntilIdle();
    EXPECT_TRUE(log.empty());
    loop.runUntilIdle();
    EXPECT_EQ(log, (Log{"zero woke at 1000.000000"}));
}

TEST_F(TaskTest, SleepingTasksResumeInDueOrder) {
    spawn(loop, sleepLogging(loop, 3.0, "c", log));
    spawn(loop, sleepLogging(loop, 1.0, "a", log));
    spawn(loop, sleepLogging(loop, 2.0, "b", log));
    spawn(loop, sleepLogging(loop, 1.0, "a2", log));

    loop.advance(5.0);
    EXPECT_EQ(log, (Log{"a woke at 1001.000000", "a2 woke at 1001.000000", "b woke at 1002.000000",
                        "c woke at 1003.000000"}));
}

Task<void> pollRepeatedly(EventLoop& loop, double interval, int times, Log& log) {
    for (int i = 0; i < times; ++i) co_await sleepFor(interval);
    log.push_back("done at " + std::to_string(loop.now()));
}

TEST_F(TaskTest, ChainedShortSleepsAddUpExactly) {
    spawn(loop, pollRepeatedly(loop, 0.1, 10, log));
    spawn(loop, pollRepeatedly(loop, 0.04, 25, log));
    loop.runUntilIdle();

    loop.advance(1.0);
    EXPECT_EQ(log, (Log{"done at 1001.000000", "done at 1001.000000"}));
}

TEST_F(TaskTest, CancellingASleepingTaskThrowsCancelledAtOnce) {
    TaskHandle handle = spawn(loop, sleepLogging(loop, 60.0, "sleeper", log));
    loop.runUntilIdle();
    loop.advance(5.0);

    handle.cancel();
    EXPECT_TRUE(handle.isCancelled());
    loop.runUntilIdle();

    EXPECT_EQ(log, (Log{"sleeper cancelled at 1005.000000"}));
    EXPECT_TRUE(handle.isDone());
    EXPECT_EQ(loop.pendingCount(), 0u);
    EXPECT_EQ(loop.nextDelay(), std::nullopt);
}

TEST_F(TaskTest, CancellingOneTaskLeavesTheOthersRunning) {
    TaskHandle first = spawn(loop, sleepLogging(loop, 2.0, "first", log));
    TaskHandle second = spawn(loop, sleepLogging(loop, 2.0, "second", log));
    loop.runUntilIdle();

    first.cancel();
    loop.advance(2.0);
    EXPECT_EQ(log, (Log{"first cancelled at 1000.000000", "second woke at 1002.000000"}));
    EXPECT_FALSE(second.isCancelled());
}

Task<int> childSleeping(Log& log) {
    log.push_back("child sleeping");
    co_await sleepFor(30.0);
    log.push_back("child woke");
    co_return 1;
}

Task<void> parentOfSleeper(EventLoop& loop, Log& log) {
    try {
        int value = co_await childSleeping(log);
        log.push_back("parent got " + std::to_string(value));
    } catch (const Cancelled&) {
        log.push_back("parent cancelled at " + std::to_string(loop.now()));
    }
}

TEST_F(TaskTest, CancellingReachesTheSleepOfANestedTask) {
    TaskHandle handle = spawn(loop, parentOfSleeper(loop, log));
    loop.advance(1.0);
    handle.cancel();
    loop.runUntilIdle();

    EXPECT_EQ(log, (Log{"child sleeping", "parent cancelled at 1001.000000"}));
    EXPECT_TRUE(handle.isDone());
    EXPECT_EQ(loop.pendingCount(), 0u);
}

Task<int> childSwallowingCancel(Log& log) {
    try {
        co_await sleepFor(30.0);
    } catch (const Cancelled&) {
        log.push_back("child swallowed");
    }
    co_return 2;
}

Task<void> parentSleepingAfterChild(Log& log) {
    int value = co_await childSwallowingCancel(log);
    log.push_back("parent got " + std::to_string(value));
    try {
        co_await sleepFor(1.0);
        log.push_back("parent slept");
    } catch (const Cancelled&) {
        log.push_back("parent still cancelled");
    }
}

TEST_F(TaskTest, ChildSharesTheParentsCancellation) {
    TaskHandle handle = spawn(loop, parentSleepingAfterChild(log));
    loop.runUntilIdle();
    handle.cancel();
    loop.advance(5.0);
    EXPECT_EQ(log, (Log{"child swallowed", "parent got 2", "parent still cancelled"}));
}

Task<void> workThenSleep(EventLoop& loop, Log& log) {
    log.push_back("started");
    try {
        co_await sleepFor(10.0);
        log.push_back("slept");
    } catch (const Cancelled&) {
        log.push_back("cancelled at " + std::to_string(loop.now()));
    }
    try {
        co_await sleepFor(0.0);
        log.push_back("second sleep");
    } catch (const Cancelled&) {
        log.push_back("second sleep cancelled");
    }
}

TEST_F(TaskTest, TaskCancelledBeforeItStartsRunsUntilItsFirstSleep) {
    TaskHandle handle = spawn(loop, workThenSleep(loop, log));
    handle.cancel();
    loop.runUntilIdle();

    EXPECT_EQ(log, (Log{"started", "cancelled at 1000.000000", "second sleep cancelled"}));
    EXPECT_TRUE(handle.isDone());
    EXPECT_EQ(loop.pendingCount(), 0u);
}

Task<void> probeCancellation(TaskHandle& self, Log& log) {
    log.push_back((co_await isCancelled()) ? "cancelled" : "running");
    co_await checkCancellation();
    log.push_back("check passed");
    self.cancel();
    log.push_back((co_await isCancelled()) ? "cancelled" : "running");
    try {
        co_await checkCancellation();
        log.push_back("check passed");
    } catch (const Cancelled&) {
        log.push_back("check threw");
    }
}

TEST_F(TaskTest, CancellationProbesReadTheTasksOwnState) {
    TaskHandle handle;
    handle = spawn(loop, probeCancellation(handle, log));
    loop.runUntilIdle();
    EXPECT_EQ(log, (Log{"running", "check passed", "cancelled", "check threw"}));
    EXPECT_TRUE(handle.isCancelled());
    EXPECT_TRUE(handle.isDone());
}

TEST_F(TaskTest, CancellingAFinishedTaskChangesNothing) {
    TaskHandle handle = spawn(loop, sleepLogging(loop, 1.0, "sleeper", log));
    loop.advance(1.0);
    handle.cancel();
    loop.runUntilIdle();
    EXPECT_EQ(log, (Log{"sleeper woke at 1001.000000"}));
    EXPECT_TRUE(handle.isDone());
}

TEST_F(TaskTest, CancellingTwiceResumesOnce) {
    TaskHandle handle = spawn(loop, workThenSleep(loop, log));
    loop.runUntilIdle();
    handle.cancel();
    handle.cancel();
    loop.runUntilIdle();
    EXPECT_EQ(log, (Log{"started", "cancelled at 1000.000000", "second sleep cancelled"}));
}

Task<void> rememberLoop(EventLoop*& seen) {
    seen = &(co_await currentLoop());
}

TEST_F(TaskTest, AScopeCancelsWhatItStillRunsWhenCancelledOrDestroyed) {
    TaskScope scope(loop);
    scope.spawn(sleepLogging(loop, 1.0, "short", log));
    scope.spawn(sleepLogging(loop, 5.0, "long", log));
    TaskHandle outside = spawn(loop, sleepLogging(loop, 5.0, "outside", log));
    loop.advance(1.0);
    EXPECT_TRUE(scope.isRunning());

    scope.cancel();
    EXPECT_FALSE(scope.isRunning());
    loop.advance(10.0);
    EXPECT_EQ(log, (Log{"short woke at 1001.000000", "long cancelled at 1001.000000",
                        "outside woke at 1005.000000"}));
    EXPECT_TRUE(outside.isDone());

    {
        TaskScope leaving(loop);
        leaving.spawn(sleepLogging(loop, 1.0, "left", log));
    }
    loop.advance(2.0);
    EXPECT_EQ(log.back(), "left cancelled at 1011.000000");
}

TEST_F(TaskTest, CurrentLoopIsTheSpawningLoop) {
    EventLoop* seen = nullptr;
    spawn(loop, rememberLoop(seen));
    loop.runUntilIdle();
    EXPECT_EQ(seen, &loop);
}

// Counts live instances, so a test can see that a destroyed frame released its locals.
struct Sentinel {
    explicit Sentinel(int& live) : live(live) { ++live; }
    ~Sentinel() { --live; }
    Sentinel(const Sentinel&) = delete;
    Sentinel& operator=(const Sentinel&) = delete;
    int& live;
};

Task<int> sleepingChild(int& live) {
    Sentinel sentinel(live);
    co_await sleepFor(100.0);
    co_return 0;
}

Task<void> sleepingParent(int& live) {
    Sentinel sentinel(live);
    co_await sleepingChild(live);
}

Task<void> waitingForCallback(int& live, std::optional<Completion<int>>& completion) {
    Sentinel sentinel(live);
    co_await callback<int>([&](Completion<int> done) { completion.emplace(done); });
}

Task<void> waitingForStream(int& live, AsyncStream<int> stream) {
    Sentinel sentinel(live);
    co_await stream.next();
}

TEST(TaskLifetime, DestroyingTheLoopFreesSuspendedAndUnstartedTasks) {
    ManualClock clock;
    auto loop = std::make_unique<EventLoop>(clock);
    int live = 0;
    std::optional<Completion<int>> completion;
    AsyncStream<int> stream;
    auto producer = stream.producer();

    spawn(*loop, sleepingParent(live));
    spawn(*loop, waitingForCallback(live, completion));
    spawn(*loop, waitingForStream(live, std::move(stream)));
    loop->runUntilIdle();
    spawn(*loop, sleepingParent(live));  // never started
    EXPECT_EQ(live, 4);
    ASSERT_TRUE(completion.has_value());

    loop.reset();
    EXPECT_EQ(live, 0);
    EXPECT_TRUE(producer.stopToken().stop_requested());
    EXPECT_TRUE(completion->stopToken().stop_requested());

    // Completions arriving after the loop is gone are dropped without touching it.
    (*completion)(5);
    producer.yield(1);
}

}  // namespace
}  // namespace lumora
