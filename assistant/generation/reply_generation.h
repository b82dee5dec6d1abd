// One on-device answer: decide which context the request needs, build the prompt from the
// selection, the screen text or the screenshot, stream the model's output through the marker
// decoder and hand out every partial reply.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "assistant/generation/assistant_action.h"
#include "assistant/generation/model_client.h"
#include "platform/images.h"
#include "platform/system.h"
#include "platform/text_recognition.h"
#include "runtime/async_stream.h"
#include "runtime/task.h"

namespace lumora {

// What one generation actually used, reported once before streaming.
struct AssistantGenerationContext {
    std::string reference;
    // The selection the decoder reads aloud; empty unless the selection was chosen.
    std::string selection;
    bool hasImage = false;
    // "none", "selection" or "screen".
    std::string source;
    std::string ocr;
    std::string ocrError;
    std::string instructions;
    std::string prompt;
};

struct GenerationServices {
    ModelClient& model;
    platform::TextRecognition& recognition;
    platform::System& system;
};

// Called on the loop, in the generating task.
struct GenerationCallbacks {
    std::function<void(const std::string& raw)> onRaw;
    std::function<void(const AssistantGenerationContext&)> onContext;
    std::function<void(const AssistantReply&)> onSnapshot;
};

Task<AssistantReply> generateAssistantReply(GenerationServices services, std::string request,
                                            std::string preference, std::string previous,
                                            std::string selection,
                                            std::optional<platform::Image> screenImage,
                                            GenerationCallbacks callbacks);

// Decodes the model's cumulative snapshots; the final reply once the stream ends.
Task<AssistantReply> consumeAssistantStream(AsyncStream<std::string> stream, std::string selection,
                                            std::function<void(const std::string&)> onRaw,
                                            std::function<void(const AssistantReply&)> onSnapshot);

}  // namespace lumora
