// The on-device language model as a client of a local model server speaking the
// OpenAI-compatible chat-completions protocol (llama-server, Ollama, LM Studio, vLLM, LocalAI).
// Availability comes from a bounded probe of the server, remembered for a moment so that status
// reports and requests in quick succession ask once, and forgotten as soon as a request finds
// the server gone. Every response is streamed, so a stop
// closes the connection at once, and an answer is accepted up to a fixed size.
#pragma once

#include <memory>

#include "platform/language_model.h"
#include "platform/linux/model_server_settings.h"

namespace lumora::platform {

class ServerLanguageModel final : public LanguageModel {
  public:
    // Far beyond any answer typed into a field (a long letter is 10 KiB), and small enough that
    // a server stuck in a loop cannot take the process's memory.
    static constexpr std::size_t maxAnswerBytes = 1 << 20;

    explicit ServerLanguageModel(ModelServerSettings settings);
    ~ServerLanguageModel() override;

    ModelAvailability availability() override;
    bool supportsImageAttachments() override;
    std::unique_ptr<LanguageModelSession> makeSession(ModelConfiguration configuration,
                                                      const std::string& instructions) override;

    // The probe's remembered answer, shared with the sessions, which forget it when they find
    // the server gone.
    class ServerStateCache;

  private:
    std::shared_ptr<ServerStateCache> states_;
};

}  // namespace lumora::platform
