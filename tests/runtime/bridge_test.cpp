#include "runtime/bridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "runtime/thread_pool.h"
#include "tests/runtime/real_loop.h"

namespace lumora {
namespace {

template <class T>
struct Outcome {
    std::optional<T> value;
    std::string error;
    bool cancelled = false;
    int resumptions = 0;
};

std::string describe(const Error& error) {
    std::string text = error.domain + " " + std::to_string(error.code) + " " + error.description;
    for (const auto& [key, value] : error.extra) text += " " + key + "=" + value;
    return text;
}

// What an outcome records for an operation of type T; a void one records `true`.
template <class T>
using Settled = std::conditional_t<std::is_void_v<T>, bool, T>;

template <class T, class Awaitable>
Task<void> settleAwaitable(Awaitable& awaitable, Outcome<Settled<T>>& outcome) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(awaitable);
            outcome.value.emplace(true);
        } else {
            outcome.value.emplace(co_await std::move(awaitable));
        }
    } catch (const Cancelled&) {
        outcome.cancelled = true;
    } catch (const Error& error) {
        outcome.error = describe(error);
    }
    ++outcome.resumptions;
}

template <class T>
Task<void> settle(std::function<void(Completion<T>)> start, Outcome<Settled<T>>& outcome) {
    auto awaiter = callback<T>(std::move(start));
    co_await settleAwaitable<T>(awaiter, outcome);
}

class CallbackTest : public ::testing::Test {
  protected:
    // A start function that keeps the completion for the test to call later.
    template <class T>
    std::function<void(Completion<T>)> keep(std::optional<Completion<T>>& slot) {
        return [&slot](Completion<T> done) { slot.emplace(done); };
    }

    ManualClock clock{1000.0};
    EventLoop loop{clock};
};

TEST_F(CallbackTest, SynchronousCompletionContinuesWithoutALoopTrip) {
    Outcome<int> outcome;
    spawn(loop, settle<int>([](Completion<int> done) { done(42); }, outcome));

    EXPECT_EQ(loop.runUntilIdle(), 1u);
    EXPECT_EQ(outcome.value, 42);
    EXPECT_EQ(outcome.resumptions, 1);
}

TEST_F(CallbackTest, CompletionFromAnotherThreadResumesOnTheLoop) {
    std::optional<Completion<std::string>> slot;
    Outcome<std::string> outcome;
    spawn(loop, settle<std::string>(keep(slot), outcome));
    loop.runUntilIdle();
    ASSERT_TRUE(slot.has_value());
    EXPECT_FALSE(outcome.value.has_value());
    EXPECT_EQ(loop.pendingCount(), 0u);

    std::thread worker([&] { (*slot)(std::string("from worker")); });
    worker.join();
    EXPECT_FALSE(outcome.value.has_value());
    EXPECT_EQ(loop.pendingCount(), 1u);

    loop.runUntilIdle();
    EXPECT_EQ(outcome.value, "from worker");
    EXPECT_EQ(outcome.resumptions, 1);
}

TEST_F(CallbackTest, FailureRethrowsTheErrorInTheTask) {
    std::optional<Completion<int>> slot;
    Outcome<int> outcome;
    spawn(loop, settle<int>(keep(slot), outcome));
    loop.runUntilIdle();

    slot->fail(std::make_exception_ptr(Error("Lumora", 9, "camera off", {{"cause", "test"}})));
    loop.runUntilIdle();
    EXPECT_FALSE(outcome.value.has_value());
    EXPECT_EQ(outcome.error, "Lumora 9 camera off cause=test");
}

TEST_F(CallbackTest, StartThatThrowsFailsTheAwait) {
    Outcome<int> outcome;
    spawn(loop,
          settle<int>([](Completion<int>) { throw Error("Lumora", 4, "cannot start"); }, outcome));
    loop.runUntilIdle();
    EXPECT_EQ(outcome.error, "Lumora 4 cannot start");
    EXPECT_EQ(outcome.resumptions, 1);
}

TEST_F(CallbackTest, OnlyTheFirstCompletionCounts) {
    Outcome<int> outcome;
    spawn(loop, settle<int>(
                    [](Completion<int> done) {
                        done(1);
                        done(2);
                        done.fail(std::make_exception_ptr(Error("Lumora", 1, "late")));
                    },
                    outcome));
    loop.runUntilIdle();
    EXPECT_EQ(outcome.value, 1);
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.resumptions, 1);
}

// A platform that forgets its callback must not leave the task waiting forever, whether it
// drops the completion at once or later.
TEST_F(CallbackTest, ACompletionDroppedUnansweredFailsTheAwait) {
    const std::string abandoned = "Lumora.Runtime 1 The operation ended without a result.";
    Outcome<int> dropped;
    spawn(loop, settle<int>([](Completion<int>) {}, dropped));
    loop.runUntilIdle();
    EXPECT_EQ(dropped.error, abandoned);

    std::optional<Completion<int>> slot;
    Outcome<int> droppedLater;
    spawn(loop, settle<int>(keep(slot), droppedLater));
    loop.runUntilIdle();
    std::optional<Completion<int>> copy = slot;
    slot.reset();
    loop.runUntilIdle();
    EXPECT_EQ(droppedLater.resumptions, 0);
    copy.reset();
    loop.runUntilIdle();
    EXPECT_EQ(droppedLater.error, abandoned);
    EXPECT_EQ(droppedLater.resumptions, 1);
}

TEST_F(CallbackTest, VoidCompletionResumes) {
    std::optional<Completion<void>> slot;
    Outcome<bool> outcome;
    spawn(loop, settle<void>(keep(slot), outcome));
    loop.runUntilIdle();
    EXPECT_FALSE(outcome.value.has_value());

    (*slot)();
    loop.runUntilIdle();
    EXPECT_EQ(outcome.value, true);
}

TEST_F(CallbackTest, CancellingResumesAtOnceRequestsStopAndDropsTheLateResult) {
    std::optional<Completion<int>> slot;
    Outcome<int> outcome;
    TaskHandle handle = spawn(loop, settle<int>(keep(slot), outcome));
    loop.runUntilIdle();
    std::stop_token stop = slot->stopToken();
    EXPECT_FALSE(stop.stop_requested());

    handle.cancel();
    EXPECT_TRUE(stop.stop_requested());
    loop.runUntilIdle();
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_TRUE(handle.isDone());

    std::thread late([&] { (*slot)(5); });
    late.join();
    EXPECT_EQ(loop.pendingCount(), 0u);
    loop.runUntilIdle();
    EXPECT_FALSE(outcome.value.has_value());
    EXPECT_EQ(outcome.resumptions, 1);
}

Task<void> cancelThenAwait(TaskHandle& self, bool& started, Outcome<int>& outcome) {
    self.cancel();
    co_await settle<int>(
        [&started](Completion<int> done) {
            started = true;
            done(1);
        },
        outcome);
}

TEST_F(CallbackTest, AlreadyCancelledTaskNeverStartsTheOperation) {
    bool started = false;
    Outcome<int> outcome;
    TaskHandle handle;
    handle = spawn(loop, cancelThenAwait(handle, started, outcome));
    loop.runUntilIdle();
    EXPECT_FALSE(started);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.value.has_value());
}

Task<void> awaitMoved(CallbackAwaiter<int> awaiter, Outcome<int>& outcome) {
    co_await settleAwaitable<int>(awaiter, outcome);
}

TEST_F(CallbackTest, AwaiterCanBeMovedBeforeItIsAwaited) {
    Outcome<int> outcome;
    CallbackAwaiter<int> original = callback<int>([](Completion<int> done) { done(3); });
    spawn(loop, awaitMoved(std::move(original), outcome));
    loop.runUntilIdle();
    EXPECT_EQ(outcome.value, 3);
}

TEST(CallbackOnRealLoop, CompletionFromAWorkerThreadWhileTheLoopRuns) {
    SystemClock clock;
    EventLoop loop(clock);
    std::thread worker;
    Outcome<int> outcome;
    test_support::runToCompletion(
        loop,
        settle<int>([&worker](Completion<int> done) { worker = std::thread([done] { done(7); }); },
                    outcome));
    worker.join();
    EXPECT_EQ(outcome.value, 7);
    EXPECT_EQ(outcome.resumptions, 1);
}

class BackgroundTest : public ::testing::Test {
  protected:
    SystemClock clock;
    EventLoop loop{clock};
    std::optional<ThreadPool> pool{std::in_place, 2};
};

template <class T, class Work>
Task<void> settleBackground(ThreadPool& pool, Work work, Outcome<Settled<T>>& outcome) {
    auto awaiter = inBackground(pool, std::move(work));
    co_await settleAwaitable<T>(awaiter, outcome);
}

TEST_F(BackgroundTest, ReturnsTheValueFromAWorkerAndResumesOnTheLoopThread) {
    std::thread::id workerThread, resumedThread;
    Outcome<int> outcome;
    auto body = [](ThreadPool& pool, std::thread::id& worker, std::thread::id& resumed,
                   Outcome<int>& outcome) -> Task<void> {
        co_await settleBackground<int>(
            pool,
            [&worker](std::stop_token) {
                worker = std::this_thread::get_id();
                return 6 * 7;
            },
            outcome);
        resumed = std::this_thread::get_id();
    };
    test_support::runToCompletion(loop, body(*pool, workerThread, resumedThread, outcome));
    pool.reset();

    EXPECT_EQ(outcome.value, 42);
    EXPECT_NE(workerThread, std::this_thread::get_id());
    EXPECT_EQ(resumedThread, std::this_thread::get_id());
}

TEST_F(BackgroundTest, ReturnsMoveOnlyValues) {
    Outcome<std::unique_ptr<std::string>> outcome;
    test_support::runToCompletion(
        loop, settleBackground<std::unique_ptr<std::string>>(
                  *pool, [](std::stop_token) { return std::make_unique<std::string>("boxed"); },
                  outcome));
    ASSERT_TRUE(outcome.value.has_value());
    EXPECT_EQ(**outcome.value, "boxed");
}

TEST_F(BackgroundTest, RunsVoidWork) {
    std::atomic<int> runs = 0;
    Outcome<bool> outcome;
    test_support::runToCompletion(loop, settleBackground<void>(
                                            *pool, [&runs](std::stop_token) { ++runs; }, outcome));
    EXPECT_EQ(outcome.value, true);
    EXPECT_EQ(runs.load(), 1);
}

TEST_F(BackgroundTest, RethrowsTheWorksError) {
    Outcome<int> outcome;
    test_support::runToCompletion(
        loop,
        settleBackground<int>(
            *pool, [](std::stop_token) -> int { throw Error("Lumora", 12, "model unavailable"); },
            outcome));
    EXPECT_FALSE(outcome.value.has_value());
    EXPECT_EQ(outcome.error, "Lumora 12 model unavailable");
}

Task<void> cancelledBackground(EventLoop& loop, ThreadPool& pool, std::atomic<bool>& stopSeen,
                               Outcome<int>& outcome) {
    co_await settleBackground<int>(
        pool,
        [&stopSeen](std::stop_token stop) {
            std::mutex mutex;
            std::condition_variable_any changed;
            std::unique_lock lock(mutex);
            changed.wait(lock, stop, [] { return false; });
            stopSeen = stop.stop_requested();
            return 1;
        },
        outcome);
    loop.quit();
}

TEST_F(BackgroundTest, CancellingRequestsTheStopTokenAndResumesWithCancelled) {
    std::atomic<bool> stopSeen = false;
    Outcome<int> outcome;
    TaskHandle handle = spawn(loop, cancelledBackground(loop, *pool, stopSeen, outcome));
    // Runs after the task's first turn, so the work is already handed to the pool.
    loop.post([&] { handle.cancel(); });
    Timer guard(loop);
    guard.start(30.0, [&] { loop.quit(); });
    loop.run();
    pool.reset();

    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.value.has_value());
    EXPECT_TRUE(stopSeen.load());
    EXPECT_TRUE(handle.isDone());
}

Task<void> cancelledBeforeBackground(TaskHandle& self, ThreadPool& pool, std::atomic<int>& runs,
                                     Outcome<int>& outcome) {
    self.cancel();
    co_await settleBackground<int>(
        pool,
        [&runs](std::stop_token) {
            ++runs;
            return 1;
        },
        outcome);
}

TEST_F(BackgroundTest, AlreadyCancelledTaskNeverQueuesTheWork) {
    std::atomic<int> runs = 0;
    Outcome<int> outcome;
    TaskHandle handle;
    handle = spawn(loop, cancelledBeforeBackground(handle, *pool, runs, outcome));
    loop.post([&] { loop.quit(); });
    loop.run();
    pool.reset();

    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(runs.load(), 0);
}

}  // namespace
}  // namespace lumora
