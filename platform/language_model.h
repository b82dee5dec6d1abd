// The on-device language model: availability, two model configurations, sessions with system
// instructions, and single or streamed responses to a prompt. Decoding is always greedy with
// no temperature and no token limit; the port offers no other options on purpose.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "platform/images.h"

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
    // Blocking; run off the main thread. Throws lumora::Error, or Cancelled once `stop` is
    // requested.
    virtual std::string respond(const ModelPrompt& prompt, std::stop_token stop) = 0;
    // Blocking; calls `snapshot` with the whole output so far each time it grows.
    virtual void streamResponse(const ModelPrompt& prompt,
                                const std::function<void(const std::string&)>& snapshot,
                                std::stop_token stop) = 0;
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
