#include "assistant/generation/model_client.h"

namespace lumora {

std::shared_ptr<platform::LanguageModelSession> ModelClient::session(
    platform::ModelConfiguration configuration, const std::string& instructions) {
    return model_.makeSession(configuration, instructions);
}

Task<std::string> wholeAnswer(Executor& executor,
                              std::shared_ptr<platform::LanguageModelSession> session,
                              platform::ModelPrompt prompt) {
    // Named, not written inside the co_await: GCC 12 destroys a lambda temporary of a co_await
    // operand twice, which double-frees whatever it captured.
    auto ask = [&executor, session,
                prompt = std::move(prompt)](Completion<std::string> answer) mutable {
        executor.submit([session, prompt = std::move(prompt), answer] {
            try {
                session->respond(prompt, answer);
            } catch (...) {
                answer.fail(std::current_exception());
            }
        });
    };
    co_return co_await callback<std::string>(std::move(ask));
}

Task<std::string> ModelClient::respond(std::shared_ptr<platform::LanguageModelSession> session,
                                       platform::ModelPrompt prompt) {
    co_return co_await wholeAnswer(executor_, std::move(session), std::move(prompt));
}

AsyncStream<std::string> ModelClient::streamResponse(
    std::shared_ptr<platform::LanguageModelSession> session, platform::ModelPrompt prompt) {
    AsyncStream<std::string> stream;
    executor_.submit([session, prompt = std::move(prompt), output = stream.producer()] {
        try {
            session->streamResponse(prompt, output);
        } catch (...) {
            output.fail(std::current_exception());
        }
    });
    return stream;
}

}  // namespace lumora
