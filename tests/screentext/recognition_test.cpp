#include "screentext/recognition.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "runtime/error.h"
#include "runtime/thread_pool.h"
#include "screentext/reading_order.h"
#include "screentext/reference_text.h"
#include "tests/runtime/real_loop.h"

namespace lumora::ScreenText {
namespace {

using platform::Image;
using platform::TextObservation;

// A recogniser that answers with fixed observations, or an error, or waits for its stop.
class ScriptedRecognition final : public platform::TextRecognition {
  public:
    std::vector<TextObservation> observations;
    std::optional<Error> error;
    bool waitsForStop = false;
    std::function<void()> onStart;

    std::atomic<int> calls = 0;
    std::atomic<bool> sawStop = false;
    std::optional<Image> lastImage;

    std::vector<TextObservation> recognize(const Image& image, std::stop_token stop) override {
        ++calls;
        lastImage = image;
        if (onStart) onStart();
        if (waitsForStop) {
            std::mutex mutex;
            std::condition_variable_any wake;
            std::unique_lock lock(mutex);
            wake.wait(lock, stop, [] { return false; });
            sawStop = stop.stop_requested();
            throw Cancelled();
        }
        if (error) throw *error;
        return observations;
    }
};

const Image picture{2, 1, {0, 0, 0, 255, 255, 255, 255, 255}};

struct Outcome {
    std::optional<std::vector<Line>> lines;
    std::optional<Error> error;
    bool cancelled = false;
};

Task<void> recognizeInto(platform::TextRecognition& recognition, ThreadPool& pool,
                         Outcome& outcome) {
    try {
        outcome.lines = co_await recognizeLines(recognition, pool, picture);
    } catch (const Error& error) {
        outcome.error = error;
    } catch (const Cancelled&) {
        outcome.cancelled = true;
    }
}

const std::vector<TextObservation> engineOrder = {
    {"right column", {0.6, 0.5, 0.3, 0.05}},
    {"", {0.1, 0.2, 0.1, 0.05}},
    {"title", {0.1, 0.9, 0.5, 0.05}},
    {"left column", {0.1, 0.5, 0.3, 0.05}},
};

TEST(RecognitionTest, ReturnsTheEngineLinesInReadingOrder) {
    ScriptedRecognition recognition;
    recognition.observations = engineOrder;
    std::vector<Line> asLines;
    for (const auto& observation : engineOrder)
        asLines.push_back({observation.text, observation.box});

    SystemClock clock;
    EventLoop loop(clock);
    ThreadPool pool(1);
    Outcome outcome;
    test_support::runToCompletion(loop, recognizeInto(recognition, pool, outcome));
    ASSERT_TRUE(outcome.lines);
    EXPECT_EQ(*outcome.lines, ordered(asLines));
    EXPECT_EQ(outcome.lines->front().text, "title");
    EXPECT_EQ(recognition.lastImage, picture);
}

TEST(RecognitionTest, RecognizeGivesTheReferenceOfTheLines) {
    ScriptedRecognition recognition;
    recognition.observations = engineOrder;
    SystemClock clock;
    EventLoop loop(clock);
    ThreadPool pool(1);
    std::string text;
    test_support::runToCompletion(
        loop, [&]() -> Task<void> { text = co_await recognize(recognition, pool, picture); }());
    EXPECT_EQ(text, "title\nleft column\nright column\n\n");
}

TEST(RecognitionTest, PassesEngineFailuresOnUnchanged) {
    ScriptedRecognition recognition;
    recognition.error =
        Error("Lumora.ScreenText", 6, "Could not read the text in the image.", {{"status", "-1"}});
    SystemClock clock;
    EventLoop loop(clock);
    ThreadPool pool(1);
    Outcome outcome;
    test_support::runToCompletion(loop, recognizeInto(recognition, pool, outcome));
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain, "Lumora.ScreenText");
    EXPECT_EQ(outcome.error->code, 6);
    EXPECT_EQ(outcome.error->description, "Could not read the text in the image.");
    EXPECT_EQ(outcome.error->extra, recognition.error->extra);
}

TEST(RecognitionTest, CancellingDuringTheRunEndsTheTaskAndStopsTheEngine) {
    ScriptedRecognition recognition;
    recognition.waitsForStop = true;
    SystemClock clock;
    EventLoop loop(clock);
    Outcome outcome;
    {
        ThreadPool pool(1);
        TaskHandle handle;
        recognition.onStart = [&] { loop.post([&] { handle.cancel(); }); };
        bool finished = false;
        // A coroutine lambda's captures live in the lambda: it must outlive the task.
        auto body = [&]() -> Task<void> {
            co_await recognizeInto(recognition, pool, outcome);
            finished = true;
            loop.quit();
        };
        handle = spawn(loop, body());
        loop.run();
        EXPECT_TRUE(finished);
    }  // the pool's destruction waits for the engine to return
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(recognition.calls, 1);
    EXPECT_TRUE(recognition.sawStop);
}

TEST(RecognitionTest, CancellingBeforeTheRunStartsNeverCallsTheEngine) {
    ScriptedRecognition recognition;
    SystemClock clock;
    EventLoop loop(clock);
    Outcome outcome;
    {
        ThreadPool pool(1);
        // Keeps the only worker busy until the recognition has been cancelled.
        std::mutex mutex;
        std::condition_variable released;
        bool release = false;
        pool.submit([&] {
            std::unique_lock lock(mutex);
            released.wait(lock, [&] { return release; });
        });
        // A coroutine lambda's captures live in the lambda: it must outlive the task.
        auto body = [&]() -> Task<void> {
            co_await recognizeInto(recognition, pool, outcome);
            loop.quit();
        };
        TaskHandle handle = spawn(loop, body());
        loop.post([&] {
            handle.cancel();
            {
                std::lock_guard lock(mutex);
                release = true;
            }
            released.notify_all();
        });
        loop.run();
    }
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(recognition.calls, 0);
}

}  // namespace
}  // namespace lumora::ScreenText
