// Loading a desktop for a test, failing the test with the scenario's error when it is refused,
// and reading what the scripted model answers, through the awaitables the assistant uses.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "runtime/bridge.h"
#include "runtime/error.h"

namespace lumora::sim {

inline std::unique_ptr<SimDesktop> desktopFrom(std::string_view scenario) {
    try {
        return SimDesktop::load(scenario);
    } catch (const Error& error) {
        ADD_FAILURE() << error.description;
        throw;
    }
}

// What one model call delivered once nothing more was ready.
struct ModelOutcome {
    std::vector<std::string> snapshots;
    std::optional<std::string> answer;
    // "domain code description" of a failure, "Cancelled" for a cancellation.
    std::string failure;
    bool ended = false;
    // The task reading the outcome, still waiting when the call went quiet.
    TaskHandle reader;
};

namespace model_reading {

inline Task<void> readAnswer(platform::LanguageModelSession& session, platform::ModelPrompt prompt,
                             std::shared_ptr<ModelOutcome> outcome) {
    auto ask = [&session, &prompt](Completion<std::string> answer) {
        session.respond(prompt, answer);
    };
    try {
        outcome->answer = co_await callback<std::string>(std::move(ask));
    } catch (const Error& error) {
        outcome->failure =
            error.domain + " " + std::to_string(error.code) + " " + error.description;
    } catch (const Cancelled&) {
        outcome->failure = "Cancelled";
    }
    outcome->ended = true;
}

inline Task<void> readStream(platform::LanguageModelSession& session, platform::ModelPrompt prompt,
                             std::shared_ptr<ModelOutcome> outcome) {
    AsyncStream<std::string> stream;
    // As the assistant's model client does: a call that throws ends the stream it fed.
    AsyncStream<std::string>::Producer output = stream.producer();
    try {
        session.streamResponse(prompt, output);
    } catch (...) {
        output.fail(std::current_exception());
    }
    try {
        while (auto snapshot = co_await stream.next()) outcome->snapshots.push_back(*snapshot);
    } catch (const Error& error) {
        outcome->failure =
            error.domain + " " + std::to_string(error.code) + " " + error.description;
    } catch (const Cancelled&) {
        outcome->failure = "Cancelled";
    }
    outcome->ended = true;
}

}  // namespace model_reading

// Runs one call of `session` on `loop` until nothing more is ready: `streamed` asks for
// snapshots, otherwise for the answer.
inline std::shared_ptr<ModelOutcome> callModel(EventLoop& loop,
                                               platform::LanguageModelSession& session,
                                               const std::string& prompt, bool streamed,
                                               std::optional<platform::Image> image = {}) {
    auto outcome = std::make_shared<ModelOutcome>();
    platform::ModelPrompt question{std::move(image), prompt};
    outcome->reader =
        spawn(loop, streamed ? model_reading::readStream(session, std::move(question), outcome)
                             : model_reading::readAnswer(session, std::move(question), outcome));
    loop.advance(0);
    return outcome;
}

}  // namespace lumora::sim
