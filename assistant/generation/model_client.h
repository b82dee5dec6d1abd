// Calls to the on-device model from tasks on the loop. The port calls run on the executor;
// cancelling the awaiting task stops them through their stop token.
#pragma once

#include <memory>
#include <string>

#include "platform/language_model.h"
#include "runtime/async_stream.h"
#include "runtime/bridge.h"

namespace lumora {

// One whole answer of `session`, asked on `executor`.
Task<std::string> wholeAnswer(Executor& executor,
                              std::shared_ptr<platform::LanguageModelSession> session,
                              platform::ModelPrompt prompt);

class ModelClient {
  public:
    ModelClient(platform::LanguageModel& model, Executor& executor)
        : model_(model), executor_(executor) {}

    platform::LanguageModel& port() { return model_; }
    Executor& executor() { return executor_; }
    platform::ModelAvailability availability() { return model_.availability(); }
    bool supportsImageAttachments() { return model_.supportsImageAttachments(); }

    // A new session for one call site of one request.
    std::shared_ptr<platform::LanguageModelSession> session(
        platform::ModelConfiguration configuration, const std::string& instructions);

    // The whole answer.
    Task<std::string> respond(std::shared_ptr<platform::LanguageModelSession> session,
                              platform::ModelPrompt prompt);

    // Cumulative snapshots of the output, each the whole text so far; the stream ends when
    // the model finishes and rethrows its failure.
    AsyncStream<std::string> streamResponse(std::shared_ptr<platform::LanguageModelSession> session,
                                            platform::ModelPrompt prompt);

  private:
    platform::LanguageModel& model_;
    Executor& executor_;
};

}  // namespace lumora
