// The cloud relay: a cloud request goes to the app in one "generation_input" event (screen
// content only as on-device OCR text, never an image), and the app streams the cloud model's
// answer back as commands, each checked against the request's accumulator before delivery.
#include "assistant/host/assistant.h"
#include "assistant/host/event_output.h"
#include "runtime/text.h"
#include "screentext/recognition.h"
#include "screentext/reference_text.h"

namespace lumora {

namespace {

constexpr std::string_view thinkingWithCloud = "Thinking with Cloud…";
constexpr std::string_view screenUnreadable = "Could not read screen context: ";
constexpr std::string_view cloudFailed = "Cloud Assistant could not complete this request.";
constexpr std::string_view cloudInvalid =
    "Cloud Assistant returned an invalid response. Please try again.";
constexpr std::string_view shortTruncationNotice = "[OCR truncated]";

// The screen text as the app receives it: the cut is marked without pointing at an image the
// cloud never sees.
std::string withShortTruncationNotice(std::string reference) {
    const std::string_view notice = ScreenText::truncationNotice;
    for (std::size_t at = reference.find(notice); at != std::string::npos;
         at = reference.find(notice, at + shortTruncationNotice.size())) {
        reference.replace(at, notice.size(), shortTruncationNotice);
    }
    return reference;
}

}  // namespace

void Assistant::generateHosted(const std::string& text,
                               std::optional<platform::Image> screenImage) {
    GenerationInputs inputs = generationInputs(text, std::move(screenImage));
    if (!withinInputLimits(text, inputs.selection)) return;
    work_.openHostedResponse({session_.id, inputs.selection, std::nullopt, false});
    announceReply(thinkingWithCloud);
    work_.startGeneration(sendHostedInput(std::move(inputs)));
}

Task<void> Assistant::sendHostedInput(GenerationInputs inputs) {
    const std::uint64_t requestID = inputs.requestID;
    std::string screenText;
    std::optional<std::string> unreadable;
    if (inputs.screenImage) {
        try {
            screenText = withShortTruncationNotice(co_await ScreenText::recognize(
                ports_.textRecognition, model_.executor(), std::move(*inputs.screenImage)));
        } catch (const Cancelled&) {
            co_return;
        } catch (const std::exception& error) {
            unreadable = error.what();
        }
    }
    if (co_await isCancelled() || session_.id != requestID || !work_.hostedResponse()) co_return;
    if (unreadable) {
        work_.dropHostedResponse();
        work_.disarmDeadline();
        event("error", std::string(screenUnreadable) + *unreadable);
        co_return;
    }

    if (inputs.audit) {
        inputs.audit->input({
            {"request", inputs.request},
            {"selection", inputs.selection},
            {"previousOutput", inputs.previous},
            {"provider", "cloud"},
            {"model", "assistant-standard"},
            {"ocr", screenText},
            {"imageAttached", false},
        });
    }
    const AssistantSource source = inputs.source.value_or(AssistantSource{});
    json::Document input = {
        {"id", requestID},
        {"phase", "generation_input"},
        {"request", inputs.request},
        {"preferences", inputs.preference},
        {"selection", inputs.selection},
        {"source",
         {{"app", source.app},
          {"windowTitle", source.windowTitle},
          {"focusedRole", source.focusedRole},
          {"focusedLabel", source.focusedLabel}}},
        {"previousOutput", inputs.previous},
        {"screenText", screenText},
    };
    if (inputs.audit) input["auditId"] = inputs.audit->auditID();
    emit(input);
}

void Assistant::receiveHosted(const Request& command) {
    HostedAssistantResponse* response = work_.hostedResponse();
    const bool cloudRequest =
        session_.request && session_.request->provider == AssistantProvider::cloud;
    if (command.id != session_.id || !cloudRequest || !response || response->terminal) return;

    if (command.command == "hosted_error") {
        session_.result = response->last ? response->last->text : "";
        work_.dropHostedResponse();
        work_.disarmDeadline();
        // A blank message would leave the user with an error that says nothing.
        const bool explained = command.message && !text::isBlank(*command.message);
        event("error", explained ? std::string_view(*command.message) : cloudFailed);
        return;
    }
    const bool complete = command.command == "hosted_complete";
    // Checked on a copy: a piece that breaks the rules leaves nothing of itself behind.
    HostedAssistantResponse next = *response;
    std::optional<AssistantReply> reply;
    try {
        reply = next.receive(command.id, command.action, command.text, complete);
    } catch (const AssistantProtocolError&) {
        work_.dropHostedResponse();
        work_.disarmDeadline();
        event("error", cloudInvalid);
        return;
    }
    *response = std::move(next);
    // Recorded as an on-device model's output is: the delivery prefix, then the answer.
    if (session_.audit && response->last && command.text) {
        session_.audit->raw(std::string(marker(response->last->action)) + *command.text);
    }
    if (complete) work_.disarmDeadline();
    if (!reply) return;
    if (complete) {
        deliverComplete(*reply);
    } else {
        deliverSnapshot(*reply);
    }
}

}  // namespace lumora
