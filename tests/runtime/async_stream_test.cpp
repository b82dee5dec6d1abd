#include "runtime/async_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/runtime/real_loop.h"

namespace lumora {
namespace {

struct Consumed {
    std::vector<std::string> values;
    std::string ending;  // how the consuming loop ended
};

Task<void> consume(AsyncStream<std::string>& stream, Consumed& consumed) {
    try {
        while (auto value = co_await stream.next()) consumed.values.push_back(*value);
        consumed.ending = "finished";
    } catch (const Cancelled&) {
        consumed.ending = "cancelled";
    } catch (const Error& error) {
        consumed.ending = error.domain + " " + std::to_string(error.code) + " " + error.description;
    }
}

using Values = std::vector<std::string>;

class StreamTest : public ::testing::Test {
  protected:
    ManualClock clock{1000.0};
    EventLoop loop{clock};
    AsyncStream<std::string> stream;
    AsyncStream<std::string>::Producer producer = stream.producer();
    Consumed consumed;
};

TEST_F(StreamTest, ValuesYieldedBeforeAwaitingAreReadInOrder) {
    producer.yield("a");
    producer.yield("b");
    producer.finish();
    TaskHandle handle = spawn(loop, consume(stream, consumed));

    EXPECT_EQ(loop.runUntilIdle(), 1u);
    EXPECT_EQ(consumed.values, (Values{"a", "b"}));
    EXPECT_EQ(consumed.ending, "finished");
    EXPECT_TRUE(handle.isDone());
    EXPECT_FALSE(producer.stopToken().stop_requested());
}

TEST_F(StreamTest, ALatestValueReplacesTheOneNotYetRead) {
    producer.yield("a");
    producer.yieldLatest("ab");
    producer.yieldLatest("abc");
    TaskHandle handle = spawn(loop, consume(stream, consumed));
    loop.runUntilIdle();
    producer.yieldLatest("abcd");
    producer.finish();
    loop.runUntilIdle();

    EXPECT_EQ(consumed.values, (Values{"abc", "abcd"}));
    EXPECT_EQ(consumed.ending, "finished");
}

TEST_F(StreamTest, EachValueFromAnotherThreadResumesTheWaitingConsumer) {
    TaskHandle handle = spawn(loop, consume(stream, consumed));
    loop.runUntilIdle();
    EXPECT_EQ(loop.pendingCount(), 0u);

    for (std::string value : {"one", "two"}) {
        std::thread([&] { producer.yield(value); }).join();
        EXPECT_EQ(loop.pendingCount(), 1u);
        loop.runUntilIdle();
    }
    EXPECT_EQ(consumed.values, (Values{"one", "two"}));
    EXPECT_FALSE(handle.isDone());

    std::thread([&] { producer.finish(); }).join();
    loop.runUntilIdle();
    EXPECT_EQ(consumed.ending, "finished");
    EXPECT_TRUE(handle.isDone());
}

TEST_F(StreamTest, FinishedStreamKeepsEndingAndIgnoresLaterValues) {
    producer.yield("kept");
    producer.finish();
    producer.yield("dropped");
    producer.fail(std::make_exception_ptr(Error("Lumora", 1, "dropped too")));

    std::vector<std::optional<std::string>> reads;
    auto readThrice = [](AsyncStream<std::string>& stream,
                         std::vector<std::optional<std::string>>& reads) -> Task<void> {
        for (int i = 0; i < 3; ++i) reads.push_back(co_await stream.next());
    };
    spawn(loop, readThrice(stream, reads));
    loop.runUntilIdle();
    EXPECT_EQ(reads, (std::vector<std::optional<std::string>>{"kept", std::nullopt, std::nullopt}));
}

TEST_F(StreamTest, FailureArrivesAfterTheValuesBeforeIt) {
    spawn(loop, consume(stream, consumed));
    loop.runUntilIdle();
    producer.yield("partial");
    producer.yield("more");
    producer.fail(std::make_exception_ptr(Error("Lumora", 5, "model stopped")));

    loop.runUntilIdle();
    EXPECT_EQ(consumed.values, (Values{"partial", "more"}));
    EXPECT_EQ(consumed.ending, "Lumora 5 model stopped");
}

TEST_F(StreamTest, CancellingAWaitingConsumerThrowsCancelledAndStopsTheProducer) {
    TaskHandle handle = spawn(loop, consume(stream, consumed));
    loop.runUntilIdle();
    producer.yield("first");
    loop.runUntilIdle();
    EXPECT_FALSE(producer.stopToken().stop_requested());

    handle.cancel();
    EXPECT_TRUE(producer.stopToken().stop_requested());
    loop.runUntilIdle();
    EXPECT_EQ(consumed.values, (Values{"first"}));
    EXPECT_EQ(consumed.ending, "cancelled");
    EXPECT_TRUE(handle.isDone());

    std::thread([&] { producer.yield("late"); }).join();
    EXPECT_EQ(loop.pendingCount(), 0u);
}

Task<void> cancelThenRead(TaskHandle& self, AsyncStream<std::string>& stream, Consumed& consumed) {
    self.cancel();
    co_await consume(stream, consumed);
}

TEST_F(StreamTest, AProducerDroppedUnfinishedFailsTheStreamAfterItsValues) {
    AsyncStream<std::string> abandoned;
    std::optional<AsyncStream<std::string>::Producer> first = abandoned.producer();
    std::optional<AsyncStream<std::string>::Producer> second = abandoned.producer();
    first->yield("a");
    spawn(loop, consume(abandoned, consumed));
    first.reset();
    loop.advance(0);
    EXPECT_EQ(consumed.values, (Values{"a"}));
    EXPECT_EQ(consumed.ending, "");

    second.reset();
    loop.advance(0);
    EXPECT_EQ(consumed.ending, "Lumora.Runtime 1 The operation ended without a result.");
}

TEST_F(StreamTest, ReadingInACancelledTaskThrowsEvenWithValuesWaiting) {
    producer.yield("waiting");
    TaskHandle handle;
    handle = spawn(loop, cancelThenRead(handle, stream, consumed));
    loop.runUntilIdle();
    EXPECT_TRUE(consumed.values.empty());
    EXPECT_EQ(consumed.ending, "cancelled");
    EXPECT_TRUE(producer.stopToken().stop_requested());
}

Task<void> readOneAndDrop(AsyncStream<int> stream, std::vector<int>& read) {
    if (auto value = co_await stream.next()) read.push_back(*value);
}

TEST(StreamLifetime, ConsumerDroppingTheStreamStopsTheProducer) {
    ManualClock clock;
    EventLoop loop(clock);
    AsyncStream<int> stream;
    auto producer = stream.producer();
    std::vector<int> read;
    spawn(loop, readOneAndDrop(std::move(stream), read));
    loop.runUntilIdle();
    EXPECT_FALSE(producer.stopToken().stop_requested());

    producer.yield(1);
    loop.runUntilIdle();
    EXPECT_EQ(read, (std::vector<int>{1}));
    EXPECT_TRUE(producer.stopToken().stop_requested());
}

TEST(StreamOnRealLoop, ValuesFromAProducerThreadArriveInOrder) {
    SystemClock clock;
    EventLoop loop(clock);
    AsyncStream<std::string> stream;
    Consumed consumed;
    std::thread producer([p = stream.producer()] {
        for (int i = 0; i < 200; ++i) p.yield(std::to_string(i));
        p.finish();
    });
    test_support::runToCompletion(loop, consume(stream, consumed));
    producer.join();

    Values expected;
    for (int i = 0; i < 200; ++i) expected.push_back(std::to_string(i));
    EXPECT_EQ(consumed.values, expected);
    EXPECT_EQ(consumed.ending, "finished");
}

TEST(StreamOnRealLoop, ProducerThreadSeesTheStopWhenTheConsumerIsCancelled) {
    SystemClock clock;
    EventLoop loop(clock);
    AsyncStream<std::string> stream;
    Consumed consumed;
    std::atomic<bool> stopSeen = false;
    // The producer only ends when asked to, as a model session would.
    std::thread producer([p = stream.producer(), &stopSeen] {
        std::mutex mutex;
        std::condition_variable_any changed;
        std::unique_lock lock(mutex);
        changed.wait(lock, p.stopToken(), [] { return false; });
        stopSeen = true;
    });
    TaskHandle handle = spawn(loop, consume(stream, consumed));
    loop.post([&] {
        handle.cancel();
        // Behind the consumer's resumption, so the loop sees it end.
        loop.post([&] { loop.quit(); });
    });
    loop.run();
    producer.join();

    EXPECT_EQ(consumed.ending, "cancelled");
    EXPECT_TRUE(stopSeen.load());
}

}  // namespace
}  // namespace lumora
