// The on-device language model as a client of a local model server speaking the
// OpenAI-compatible chat-completions protocol (llama-server, Ollama, LM Studio, vLLM, LocalAI).
// Availability comes from a bounded probe of the server, remembered for a moment so that status
// reports and requests in quick succession ask once. Every response is streamed, so a stop
// closes the connection at once, and an answer is accepted up to a fixed size.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/language_model.h"
#include "platform/linux/model_server_probe.h"
#include "platform/linux/model_server_settings.h"

namespace lumora::platform {

class ServerLanguageModel final : public LanguageModel {
  public:
    static constexpr std::size_t maxAnswerBytes = 1 << 20;

    explicit ServerLanguageModel(ModelServerSettings settings);

    ModelAvailability availability() override;
    bool supportsImageAttachments() override;
    std::unique_ptr<LanguageModelSession> makeSession(ModelConfiguration configuration,
                                                      const std::string& instructions) override;

  private:
    // The last probe's answer while it is fresh, else a new probe's. Thread-safe.
    ModelServerState state();

    ModelServerSettings settings_;
    std::mutex mutex_;
    std::optional<ModelServerState> state_;
    std::chrono::steady_clock::time_point probedAt_;
};

}  // namespace lumora::platform
