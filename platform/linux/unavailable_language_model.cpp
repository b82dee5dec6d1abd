#include "platform/linux/unavailable_language_model.h"

namespace lumora::platform {

namespace {

Error noModel() {
    return Error("Lumora.Model", 1, "No on-device language model is available on this system.");
}

class FailingSession final : public LanguageModelSession {
  public:
    void respond(const ModelPrompt&, Completion<std::string> answer) override {
        answer.fail(std::make_exception_ptr(noModel()));
    }
    void streamResponse(const ModelPrompt&, AsyncStream<std::string>::Producer output) override {
        output.fail(std::make_exception_ptr(noModel()));
    }
};

}  // namespace

std::unique_ptr<LanguageModelSession> UnavailableLanguageModel::makeSession(ModelConfiguration,
                                                                            const std::string&) {
    return std::make_unique<FailingSession>();
}

}  // namespace lumora::platform
