#include "platform/linux/server_language_model.h"

#include <chrono>
#include <mutex>
#include <optional>

#include "platform/linux/chat_completion_request.h"
#include "platform/linux/chat_completion_stream.h"
#include "platform/linux/curl_loopback.h"
#include "platform/linux/model_server_errors.h"
#include "platform/linux/model_server_probe.h"
#include "platform/linux/png_images.h"

namespace lumora::platform {

class ServerLanguageModel::ServerStateCache {
  public:
    explicit ServerStateCache(ModelServerSettings settings) : settings_(std::move(settings)) {}

    // The last probe's answer while it is fresh, else a new probe's.
    ModelServerState current();
    void forget() {
        std::lock_guard lock(mutex_);
        state_.reset();
    }

  private:
    ModelServerSettings settings_;
    std::mutex mutex_;
    std::optional<ModelServerState> state_;
    std::chrono::steady_clock::time_point probedAt_;
};

namespace {

// A server on this computer answers a probe in milliseconds, even while it generates; one that
// takes half a second is hung, and a status report must not wait on it longer.
constexpr double probeBoundSeconds = 0.5;
// Long enough that a status report and the request it precedes ask once; short enough that a
// server started meanwhile is seen at the user's next try.
constexpr std::chrono::seconds probeLifetime{2};

Error replyError(const ModelServerReply& reply, const std::string& url) {
    if (reply.status == 503) return ModelServerErrors::stillLoading(url);
    return ModelServerErrors::refused(reply.status, ModelServerErrors::serverMessage(reply.body));
}

class ServerModelSession final : public LanguageModelSession {
  public:
    ServerModelSession(std::shared_ptr<ServerLanguageModel::ServerStateCache> states,
                       ModelConfiguration configuration, std::string instructions)
        : states_(std::move(states)),
          configuration_(configuration),
          instructions_(std::move(instructions)) {}

    void respond(const ModelPrompt& prompt, Completion<std::string> answer) override {
        answer(run(prompt, answer.stopToken(), [](std::string_view) {}));
    }

    void streamResponse(const ModelPrompt& prompt,
                        AsyncStream<std::string>::Producer output) override {
        run(prompt, output.stopToken(),
            [&output](std::string_view answer) { output.yieldLatest(std::string(answer)); });
        output.finish();
    }

  private:
    // Streams the answer, showing it to `grew` each time it grows; returns it whole. Throws
    // lumora::Error or Cancelled.
    std::string run(const ModelPrompt& prompt, std::stop_token stop,
                    const std::function<void(std::string_view)>& grew) {
        ModelServerState state = states_->current();
        if (!state.server) throw ModelServerErrors::unavailable(state.description);
        if (prompt.image && !state.takesImages) throw ModelServerErrors::imagesRefused();
        ChatCompletionRequest request{configuration_ == ModelConfiguration::standard
                                          ? state.standardModel
                                          : state.generalModel,
                                      instructions_, std::nullopt, prompt.text};
        if (prompt.image) request.png = PngImages().encodePng(*prompt.image);
        ChatCompletionStream answer(ServerLanguageModel::maxAnswerBytes);
        ModelServerReply reply;
        bool heard = false;
        try {
            reply = state.server->stream(
                state.apiPath + "/chat/completions", chatCompletionBody(request),
                [&](std::string_view bytes) {
                    heard = true;
                    if (answer.read(bytes)) grew(answer.answer());
                },
                stop);
        } catch (const Error& error) {
            if (error.domain != CurlLoopback::errorDomain) throw;
            // The transport failed: before anything came, nobody answered; after, the
            // connection broke mid-answer.
            states_->forget();
            if (!heard) throw ModelServerErrors::notAnswering(state.server->url());
            throw ModelServerErrors::cutShort();
        }
        if (reply.status != 200) {
            states_->forget();
            throw replyError(reply, state.server->url());
        }
        answer.finish();
        return std::string(answer.answer());
    }

    std::shared_ptr<ServerLanguageModel::ServerStateCache> states_;
    ModelConfiguration configuration_;
    std::string instructions_;
};

}  // namespace

ModelServerState ServerLanguageModel::ServerStateCache::current() {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (!state_ || now - probedAt_ >= probeLifetime) {
        state_ = probeModelServer(settings_, probeBoundSeconds);
        probedAt_ = std::chrono::steady_clock::now();
    }
    return *state_;
}

ServerLanguageModel::ServerLanguageModel(ModelServerSettings settings)
    : states_(std::make_shared<ServerStateCache>(std::move(settings))) {}

ServerLanguageModel::~ServerLanguageModel() = default;

ModelAvailability ServerLanguageModel::availability() {
    ModelServerState current = states_->current();
    return {current.server.has_value(), current.description};
}

bool ServerLanguageModel::supportsImageAttachments() {
    return states_->current().takesImages;
}

std::unique_ptr<LanguageModelSession> ServerLanguageModel::makeSession(
    ModelConfiguration configuration, const std::string& instructions) {
    return std::make_unique<ServerModelSession>(states_, configuration, instructions);
}

}  // namespace lumora::platform
