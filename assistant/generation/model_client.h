// Calls to the on-device model from tasks on the loop. The blocking port calls run on the
// thread pool; cancelling the awaiting task stops them through their stop token.
#pragma once

#include <memory>
#include <string>

#include "platform/language_model.h"
#include "runtime/async_stream.h"
#include "runtime/bridge.h"

namespace lumora {

class ModelClient {
  public:
    ModelClient(platform::LanguageModel& model, ThreadPool& pool) : model_(model), pool_(pool) {}

    platform::LanguageModel& port() { return model_; }
    ThreadPool& pool() { return pool_; }
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
    ThreadPool& pool_;
};

}  // namespace lumora
