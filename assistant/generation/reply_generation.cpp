#include "assistant/generation/reply_generation.h"

#include "assistant/generation/context_policy.h"
#include "assistant/generation/marker_decoder.h"
#include "assistant/generation/prompt.h"
#include "assistant/generation/reference_use.h"
#include "assistant/screen/screen_extraction.h"
#include "runtime/text.h"
#include "screentext/screen_text.h"

namespace lumora {

namespace {

struct ContextChoice {
    AssistantGenerationContext context;
    std::optional<std::string> prompt;
};

// The screen path: OCR and passage extraction of the screenshot, or the screenshot itself.
Task<ContextChoice> screenContext(GenerationServices services, const std::string& request,
                                  const std::string& preference, const std::string& previous,
                                  const std::optional<platform::Image>& screenImage) {
    ContextChoice choice;
    AssistantGenerationContext& context = choice.context;
    // Nothing can be attached without a screenshot, whatever the classifier said.
    bool attach = screenImage && AssistantImageSupport::isAvailable(
                                     services.system, services.model.supportsImageAttachments());
    if (!attach && screenImage) {
        std::vector<ScreenText::Line> lines = co_await ScreenText::recognizeLines(
            services.recognition, services.model.executor(), *screenImage);
        context.ocr = ScreenText::reference(lines);
        ScreenText::Extraction extraction = co_await extractScreenContent(
            services.model.port(), services.model.executor(), request, std::move(lines));
        context.reference = extraction.reference();
        if (extraction.isSummary) {
            context.instructions = std::string(AssistantPrompt::summaryFallbackInstructions);
            choice.prompt = AssistantPrompt::summaryPrompt(context.reference, request);
        } else {
            context.instructions =
                AssistantPrompt::systemInstructions(preference, false, false, true);
            choice.prompt = AssistantPrompt::user(request, context.reference, previous);
        }
    } else if (!attach) {
        context.instructions = AssistantPrompt::systemInstructions(preference, false, false, true);
    } else {
        std::optional<std::string> ocrError;
        try {
            context.ocr = co_await ScreenText::recognize(services.recognition,
                                                         services.model.executor(), *screenImage);
        } catch (const Cancelled&) {
            throw;
        } catch (const std::exception& error) {
            // The model still sees the image; only its text is missing.
            ocrError = error.what();
        }
        co_await checkCancellation();
        if (ocrError) context.ocrError = *ocrError;
        context.reference = AssistantPrompt::visionReference(context.ocr);
        context.instructions = AssistantPrompt::systemInstructions(preference, false, true, false);
        context.hasImage = true;
    }
    co_return choice;
}

}  // namespace

Task<AssistantReply> generateAssistantReply(GenerationServices services, std::string request,
                                            std::string preference, std::string previous,
                                            std::string selection,
                                            std::optional<platform::Image> screenImage,
                                            GenerationCallbacks callbacks) {
    bool hasSelection = !text::isBlank(selection);
    AssistantReferenceUse use =
        co_await assistantReferenceUse(services.model.port(), services.model.executor(), request,
                                       hasSelection, screenImage.has_value());
    ContextChoice choice;
    switch (use) {
        case AssistantReferenceUse::none:
            choice.context.instructions =
                AssistantPrompt::systemInstructions(preference, false, false, false);
            break;
        case AssistantReferenceUse::selection:
            choice.context.reference = AssistantPrompt::referenceContext(selection, std::nullopt);
            choice.context.selection = selection;
            choice.context.instructions =
                AssistantPrompt::systemInstructions(preference, !selection.empty(), false, false);
            break;
        case AssistantReferenceUse::screen:
            choice = co_await screenContext(services, request, preference, previous, screenImage);
            break;
    }
    AssistantGenerationContext& context = choice.context;
    context.source = std::string(rawValue(use));
    context.prompt = choice.prompt ? std::move(*choice.prompt)
                                   : AssistantPrompt::user(request, context.reference, previous);

    auto configuration = use == AssistantReferenceUse::none
                             ? platform::ModelConfiguration::standard
                             : platform::ModelConfiguration::generalPermissive;
    auto session = services.model.session(configuration, context.instructions);
    callbacks.onContext(context);
    co_await checkCancellation();

    platform::ModelPrompt prompt{context.hasImage ? screenImage : std::nullopt, context.prompt};
    co_return co_await consumeAssistantStream(services.model.streamResponse(session, prompt),
                                              context.selection, std::move(callbacks.onRaw),
                                              std::move(callbacks.onSnapshot));
}

Task<AssistantReply> consumeAssistantStream(AsyncStream<std::string> stream, std::string selection,
                                            std::function<void(const std::string&)> onRaw,
                                            std::function<void(const AssistantReply&)> onSnapshot) {
    AssistantMarkerDecoder decoder;
    std::string latest;
    while (std::optional<std::string> snapshot = co_await stream.next()) {
        co_await checkCancellation();
        latest = std::move(*snapshot);
        onRaw(latest);
        if (std::optional<AssistantReply> reply = decoder.update(latest, selection)) {
            onSnapshot(*reply);
        }
    }
    co_await checkCancellation();
    co_return decoder.finish(latest, selection);
}

}  // namespace lumora
