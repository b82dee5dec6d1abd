// On-device generation for the current request: the checks that refuse it early, the bounds on
// what reaches the model, the timeout, and the task that produces and delivers the reply while
// recording every step in the request's audit record.
#include "assistant/generation/prompt.h"
#include "assistant/generation/reply_generation.h"
#include "assistant/host/assistant.h"
#include "runtime/text.h"

namespace lumora {

namespace {

constexpr std::string_view requiresMacOS26 = "Assistant requires macOS 26 or later.";
constexpr std::string_view modelUnavailable = "Apple Intelligence is unavailable: ";
constexpr std::string_view inputTooLong = "Select a shorter passage or use a shorter request.";
constexpr std::string_view thinking = "Thinking on this Mac…";
constexpr std::string_view timedOut = "Generation timed out. Try a shorter request.";
constexpr std::string_view generationFailed = "Assistant could not complete this request: ";
constexpr std::string_view attachmentLabel = "original-window";

constexpr int minimumMacOS = 26;
constexpr std::size_t requestLimit = 4000;
constexpr std::size_t contextLimit = 10000;
constexpr std::size_t previousLimit = 6000;
constexpr std::size_t preferenceLimit = 2000;
constexpr double generationTimeout = 90;

std::string prefix(std::string_view text, std::size_t characters) {
    return std::string(text::characterPrefix(text, characters));
}

}  // namespace

void Assistant::generate(const std::string& text, std::optional<platform::Image> screenImage) {
    if (request_ && request_->provider == AssistantProvider::cloud) {
        generateHosted(text, std::move(screenImage));
        return;
    }
    if (ports_.system.osVersion().major < minimumMacOS) {
        event("error", requiresMacOS26);
        return;
    }
    platform::ModelAvailability availability = model_.availability();
    if (!availability.isAvailable) {
        event("error", std::string(modelUnavailable) + availability.description);
        return;
    }
    if (text::characterCount(text) > requestLimit ||
        text::characterCount(context_) > contextLimit) {
        event("error", inputTooLong);
        return;
    }

    GenerationInputs inputs;
    inputs.requestID = id_;
    inputs.request = text;
    if (target_) {
        inputs.source = target_->sourceContext();
        inputs.selection = target_->selection();
    }
    inputs.previous = prefix(result_, previousLimit);
    inputs.preference = prefix(request_ ? request_->instruction.value_or("") : "", preferenceLimit);
    inputs.audit = audit_;
    inputs.screenImage = std::move(screenImage);

    event("processing", thinking);
    if (deadline_) deadline_->cancel();
    deadline_ = spawn(loop_, expireGeneration(id_));
    replaceGeneration(spawn(loop_, runGeneration(std::move(inputs))));
}

Task<void> Assistant::expireGeneration(std::uint64_t requestID) {
    try {
        co_await sleepFor(generationTimeout);
    } catch (const Cancelled&) {
        // Decided below: only a cancelled task stays quiet.
    }
    if (co_await isCancelled() || id_ != requestID) co_return;
    cancel(true);
    event("error", timedOut);
}

Task<void> Assistant::runGeneration(GenerationInputs inputs) {
    const std::uint64_t requestID = inputs.requestID;
    if (!co_await isCancelled() && id_ == requestID) {
        std::optional<std::string> failure;
        std::optional<AssistantReply> reply;
        try {
            reply = co_await produceReply(inputs);
        } catch (const Cancelled&) {
        } catch (const std::exception& error) {
            failure = error.what();
        }
        if (!co_await isCancelled() && id_ == requestID) {
            if (reply) deliverComplete(*reply);
            if (failure) event("error", std::string(generationFailed) + *failure);
        }
    }
    // The same request may have started another generation since (an "ask" reusing its id, a
    // capture with a prompt): its handles are not this task's to clear.
    const TaskHandle self = co_await currentTask();
    if (id_ == requestID && generation_ == self) {
        if (deadline_) deadline_->cancel();
        deadline_.reset();
        generation_.reset();
    }
}

Task<AssistantReply> Assistant::produceReply(const GenerationInputs& inputs) {
    const std::string reference =
        AssistantPrompt::referenceContext(inputs.selection, inputs.source);
    context_ = reference;
    const std::shared_ptr<GenerationHistory>& audit = inputs.audit;
    if (audit) {
        audit->input({
            {"request", inputs.request},
            {"selection", inputs.selection},
            {"reference", reference},
            {"previousOutput", inputs.previous},
            {"systemInstructions", AssistantPrompt::systemInstructions(
                                       inputs.preference, !text::isBlank(inputs.selection),
                                       inputs.screenImage.has_value(), false)},
            {"userPrompt", AssistantPrompt::user(inputs.request, reference, inputs.previous)},
            {"imageAttached", false},
            {"screenCaptured", inputs.screenImage.has_value()},
            {"attachmentLabel", attachmentLabel},
        });
        if (inputs.screenImage) audit->screenshot(*inputs.screenImage);
    }

    GenerationCallbacks callbacks;
    callbacks.onRaw = [audit](const std::string& raw) {
        if (audit) audit->raw(raw);
    };
    callbacks.onContext = [audit](const AssistantGenerationContext& context) {
        if (!audit) return;
        audit->input({
            {"reference", context.reference},
            {"selection", context.selection},
            {"imageAttached", context.hasImage},
            {"contextSource", context.source},
            {"ocr", context.ocr},
            {"ocrError", context.ocrError},
            {"systemInstructions", context.instructions},
            {"userPrompt", context.prompt},
        });
    };
    // The stream checks cancellation just before handing out a reply, so only staleness is
    // left to check here.
    callbacks.onSnapshot = [this, requestID = inputs.requestID](const AssistantReply& reply) {
        if (id_ == requestID) deliverSnapshot(reply);
    };
    GenerationServices services{model_, ports_.textRecognition, ports_.system};
    Task<AssistantReply> generation =
        generateAssistantReply(services, inputs.request, inputs.preference, inputs.previous,
                               inputs.selection, inputs.screenImage, std::move(callbacks));
    co_return co_await std::move(generation);
}

}  // namespace lumora
