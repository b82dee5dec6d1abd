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
constexpr std::size_t referenceLimit = 10000;
constexpr std::size_t previousLimit = 6000;
constexpr std::size_t preferenceLimit = 2000;
constexpr double generationTimeout = 90;

std::string prefix(std::string_view text, std::size_t characters) {
    return std::string(text::characterPrefix(text, characters));
}

}  // namespace

void Assistant::generate(const std::string& text, std::optional<platform::Image> screenImage) {
    if (session_.request && session_.request->provider == AssistantProvider::cloud) {
        generateHosted(text, std::move(screenImage));
        return;
    }
    if (!onDeviceModelReady() || !withinInputLimits(text, session_.context)) return;
    GenerationInputs inputs = generationInputs(text, std::move(screenImage));
    announceReply(thinking);
    work_.startGeneration(runGeneration(std::move(inputs)));
}

bool Assistant::onDeviceModelReady() {
    if (ports_.system.osVersion().major < minimumMacOS) {
        event("error", requiresMacOS26);
        return false;
    }
    platform::ModelAvailability availability = model_.availability();
    if (!availability.isAvailable) {
        event("error", std::string(modelUnavailable) + availability.description);
        return false;
    }
    return true;
}

bool Assistant::withinInputLimits(std::string_view request, std::string_view reference) {
    if (text::characterCount(request) > requestLimit ||
        text::characterCount(reference) > referenceLimit) {
        event("error", inputTooLong);
        return false;
    }
    return true;
}

Assistant::GenerationInputs Assistant::generationInputs(
    const std::string& text, std::optional<platform::Image> screenImage) const {
    GenerationInputs inputs;
    inputs.requestID = session_.id;
    inputs.request = text;
    if (session_.target) {
        inputs.source = session_.target->sourceContext();
        inputs.selection = session_.target->selection();
    }
    inputs.previous = prefix(session_.result, previousLimit);
    inputs.preference =
        prefix(session_.request ? session_.request->instruction.value_or("") : "", preferenceLimit);
    inputs.audit = session_.audit;
    inputs.screenImage = std::move(screenImage);
    return inputs;
}

void Assistant::announceReply(std::string_view message) {
    // This reply is measured against the field as the last one left it, and once it writes,
    // undo takes back only it.
    if (session_.target) session_.target->beginReply();
    event("processing", message);
    work_.armDeadline(generationTimeout,
                      [this, requestID = session_.id] { expireGeneration(requestID); });
}

void Assistant::expireGeneration(std::uint64_t requestID) {
    if (session_.id != requestID) return;
    cancel(true);
    event("error", timedOut);
}

Task<void> Assistant::runGeneration(GenerationInputs inputs) {
    const std::uint64_t requestID = inputs.requestID;
    if (co_await isCancelled() || session_.id != requestID) co_return;
    std::optional<std::string> failure;
    std::optional<AssistantReply> reply;
    try {
        reply = co_await produceReply(inputs);
    } catch (const Cancelled&) {
    } catch (const std::exception& error) {
        failure = error.what();
    }
    // A cancelled generation was replaced by whoever cancelled it, and the deadline it armed
    // went with it; the one armed now belongs to its successor.
    if (co_await isCancelled() || session_.id != requestID) co_return;
    work_.disarmDeadline();
    if (reply) deliverComplete(*reply);
    if (failure) event("error", std::string(generationFailed) + *failure);
}

Task<AssistantReply> Assistant::produceReply(const GenerationInputs& inputs) {
    const std::string reference =
        AssistantPrompt::referenceContext(inputs.selection, inputs.source);
    session_.context = reference;
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
        if (session_.id == requestID) deliverSnapshot(reply);
    };
    GenerationServices services{model_, ports_.textRecognition, ports_.system};
    Task<AssistantReply> generation =
        generateAssistantReply(services, inputs.request, inputs.preference, inputs.previous,
                               inputs.selection, inputs.screenImage, std::move(callbacks));
    co_return co_await std::move(generation);
}

}  // namespace lumora
