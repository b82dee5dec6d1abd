#include "assistant/generation/model_client.h"

namespace lumora {

std::shared_ptr<platform::LanguageModelSession> ModelClient::session(
    platform::ModelConfiguration configuration, const std::string& instructions) {
    return model_.makeSession(configuration, instructions);
}

Task<std::string> ModelClient::respond(std::shared_ptr<platform::LanguageModelSession> session,
                                       platform::ModelPrompt prompt) {
    co_return co_await inBackground(
        pool_, [session, prompt = std::move(prompt)](std::stop_token stop) {
            return session->respond(prompt, stop);
        });
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
