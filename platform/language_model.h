// The on-device language model: availability, two model configurations, sessions with system
// instructions, and single or streamed responses to a prompt. Decoding is always greedy with
// no temperature and no token limit; the port offers no other options on purpose.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/images.h"
#include "runtime/async_stream.h"
#include "runtime/bridge.h"

namespace lumora::platform {

enum class ModelConfiguration {
    standard,           // the default system model
    generalPermissive,  // general use case, permissive content transformations
};

struct ModelAvailability {
    bool isAvailable = false;
    // The platform's textual form of the availability value, passed on unread.
    std::string description;
};

// Text, optionally preceded by an image attachment (a window image labelled
// "original-window", no orientation).
struct ModelPrompt {
    std::optional<Image> image;
    std::string text;
};

class LanguageModelSession {
  public:
    virtual ~LanguageModelSession() = default;
    // Both calls run off the main thread and may return before the response ends (a model
    // that goes quiet holds no thread while it waits); their outcome may come from any thread.
    //
    // Answers once with the whole text, or fails with lumora::Error, or with Cancelled once
    // the answer's stop token is requested.
    virtual void respond(const ModelPrompt& prompt, Completion<std::string> answer) = 0;
    // Yields the whole output so far each time it grows, then finishes, or fails as above.
    virtual void streamResponse(const ModelPrompt& prompt,
                                AsyncStream<std::string>::Producer output) = 0;
};

class LanguageModel {
  public:
    virtual ~LanguageModel() = default;
    virtual ModelAvailability availability() = 0;
    // Whether a prompt may carry an image attachment.
    virtual bool supportsImageAttachments() = 0;
    // One session per call site and request, with no tools.
    virtual std::unique_ptr<LanguageModelSession> makeSession(ModelConfiguration configuration,
                                                              const std::string& instructions) = 0;
};

}  // namespace lumora::platform
