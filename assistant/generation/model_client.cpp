#include "assistant/generation/model_client.h"

namespace lumora {

std::shared_ptr<platform::LanguageModelSession> ModelClient::session(
    platform::ModelConfiguration configuration, const std::string& instructions) {
    return model_.makeSession(configuration, instructions);
}

Task<std::string> ModelClient::respond(std::shared_ptr<platform::LanguageModelSession> session,
                                       platform::ModelPrompt prompt) {
    // Named, not written inside the co_await: GCC 12 destroys a lambda temporary of a co_await
    // operand twice, which double-frees whatever it captured.
    auto ask = [session, prompt = std::move(prompt)](std::stop_token stop) {
        return session->respond(prompt, stop);
    };
    co_return co_await inBackground(pool_, std::move(ask));
}

AsyncStream<std::string> ModelClient::streamResponse(
    std::shared_ptr<platform::LanguageModelSession> session, platform::ModelPrompt prompt) {
    AsyncStream<std::string> stream;
    pool_.submit([session, prompt = std::move(prompt), producer = stream.producer()] {
        try {
            session->streamResponse(
                prompt, [&](const std::string& snapshot) { producer.yield(snapshot); },
                producer.stopToken());
            producer.finish();
        } catch (...) {
            producer.fail(std::current_exception());
        }
    });
    return stream;
}

}  // namespace lumora
