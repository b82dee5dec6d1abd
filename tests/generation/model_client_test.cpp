// Calls to the on-device model from loop tasks: port calls run on the pool and resume the task
// on the loop; cancelling the task stops the call through its stop token.
#include "assistant/generation/model_client.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "platform/sim/sim_desktop.h"
#include "runtime/error.h"
#include "runtime/thread_pool.h"
#include "tests/runtime/real_loop.h"

namespace lumora {
namespace {

constexpr const char* scenario = R"({"languageModel": {"replies": [
    {"match": "poem", "text": "Roses 🌹 red", "chunkSize": 3},
    {"match": "busy", "text": "Half", "chunkSize": 2,
     "error": {"domain": "Model", "code": 3, "description": "The model is busy."}}]}})";

class ModelClientTest : public testing::Test {
  protected:
    SystemClock clock;
    EventLoop loop{clock};
    std::unique_ptr<ThreadPool> pool = std::make_unique<ThreadPool>(2);
    std::unique_ptr<sim::SimDesktop> desktop = sim::SimDesktop::load(scenario);
    ModelClient client{desktop->languageModel(), *pool};
};

TEST_F(ModelClientTest, RespondsOnAWorkerAndResumesOnTheLoop) {
    std::string answer;
    std::thread::id resumedOn;
    auto body = [&]() -> Task<void> {
        auto session = client.session(platform::ModelConfiguration::generalPermissive, "Be brief.");
        platform::ModelPrompt prompt{std::nullopt, "a poem"};
        answer = co_await client.respond(session, std::move(prompt));
        resumedOn = std::this_thread::get_id();
    };
    test_support::runToCompletion(loop, body());
    EXPECT_EQ(answer, "Roses 🌹 red");
    EXPECT_EQ(resumedOn, std::this_thread::get_id());
    auto calls = desktop->modelCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].configuration, platform::ModelConfiguration::generalPermissive);
    EXPECT_EQ(calls[0].instructions, "Be brief.");
    EXPECT_EQ(calls[0].prompt, "a poem");
    EXPECT_FALSE(calls[0].streamed);
}

struct StreamOutcome {
    std::vector<std::string> snapshots;
    std::optional<Error> failure;
};

TEST_F(ModelClientTest, StreamsCumulativeSnapshotsThenTheFailure) {
    StreamOutcome poem;
    StreamOutcome busy;
    auto streamInto = [&](std::string prompt, StreamOutcome& outcome) -> Task<void> {
        auto session = client.session(platform::ModelConfiguration::standard, "");
        auto stream = client.streamResponse(session, {std::nullopt, prompt});
        try {
            while (auto snapshot = co_await stream.next()) outcome.snapshots.push_back(*snapshot);
        } catch (const Error& error) {
            outcome.failure = error;
        }
    };
    auto body = [&]() -> Task<void> {
        co_await streamInto("a poem", poem);
        co_await streamInto("busy", busy);
    };
    test_support::runToCompletion(loop, body());
    EXPECT_EQ(poem.snapshots,
              (std::vector<std::string>{"Ros", "Roses ", "Roses 🌹 r", "Roses 🌹 red"}));
    EXPECT_FALSE(poem.failure);
    EXPECT_EQ(busy.snapshots, (std::vector<std::string>{"Ha", "Half"}));
    ASSERT_TRUE(busy.failure);
    EXPECT_EQ(busy.failure->domain, "Model");
    EXPECT_EQ(busy.failure->code, 3);
    EXPECT_EQ(busy.failure->description, "The model is busy.");
}

// A session that answers only when told to stop, so the test can cancel it mid-call.
class StoppableModel final : public platform::LanguageModel {
  public:
    platform::ModelAvailability availability() override { return {true, "available"}; }
    bool supportsImageAttachments() override { return false; }
    std::unique_ptr<platform::LanguageModelSession> makeSession(platform::ModelConfiguration,
                                                                const std::string&) override {
        return std::make_unique<Session>(*this);
    }

    std::mutex mutex;
    std::condition_variable_any changed;
    bool started = false;
    bool sawStop = false;

  private:
    class Session final : public platform::LanguageModelSession {
      public:
        explicit Session(StoppableModel& model) : model_(model) {}
        void respond(const platform::ModelPrompt&, Completion<std::string> answer) override {
            waitForStop(answer.stopToken());
        }
        void streamResponse(const platform::ModelPrompt&,
                            AsyncStream<std::string>::Producer output) override {
            waitForStop(output.stopToken());
        }

      private:
        void waitForStop(std::stop_token stop) {
            std::unique_lock lock(model_.mutex);
            model_.started = true;
            model_.changed.notify_all();
            model_.changed.wait(lock, stop, [] { return false; });
            model_.sawStop = stop.stop_requested();
            throw Cancelled();
        }

        StoppableModel& model_;
    };
};

TEST_F(ModelClientTest, CancellingTheTaskStopsTheCallOnTheWorker) {
    StoppableModel model;
    ModelClient stoppable(model, *pool);
    bool cancelled = false;
    auto body = [&]() -> Task<void> {
        auto session = stoppable.session(platform::ModelConfiguration::standard, "");
        platform::ModelPrompt prompt{std::nullopt, "wait"};
        try {
            co_await stoppable.respond(std::move(session), std::move(prompt));
        } catch (const Cancelled&) {
            cancelled = true;
        }
        loop.quit();
    };
    TaskHandle handle = spawn(loop, body());
    Timer watchdog(loop);
    watchdog.start(30.0, [this] { loop.quit(); });
    std::thread canceller([&] {
        {
            std::unique_lock lock(model.mutex);
            model.changed.wait(lock, [&] { return model.started; });
        }
        loop.post([&] { handle.cancel(); });
    });
    loop.run();
    canceller.join();
    pool.reset();  // joins the worker, which must have returned
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(model.sawStop);
}

}  // namespace
}  // namespace lumora
