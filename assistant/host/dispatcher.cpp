// The command switch: the checks every Assistant request passes first, then one branch per
// command name, compared exactly and in this order.
#include "assistant/host/assistant.h"
#include "assistant/host/event_output.h"
#include "runtime/text.h"

namespace lumora {

namespace {

constexpr std::string_view screenRecordingNeeded =
    "Enable Screen Recording in Lumora’s Assistant section, then try again.";
constexpr std::string_view openedMessage = "Hold your Assistant shortcut to speak a request.";
constexpr std::string_view emptyRequestMessage = "Enter a request first.";
constexpr std::string_view undoneMessage = "Change undone";
constexpr std::string_view undoUnavailableMessage =
    "The field changed. Undo is no longer available.";
constexpr std::string_view copiedMessage = "Copied.";
constexpr std::string_view unknownCommandMessage = "Unknown assistant command.";
constexpr double undoRestoreDelay = 0.18;

bool beginsAssistantSession(const Request& request) {
    return request.command == "open" || request.command == "ask" ||
           (request.command == "start" && request.isAssistantMode());
}

}  // namespace

void Assistant::handle(const Request& request) {
    if (beginsAssistantSession(request)) {
        if (request.command != "open") beginAudit(request, request.text.value_or(""));
        if (supportsScreenContext(request.provider) &&
            !ports_.permissions.screenCapturePreflight()) {
            cancel(true);
            session_.id = request.id;
            event("error", screenRecordingNeeded);
            return;
        }
    }

    const std::string& command = request.command;
    const bool matches = request.id == session_.id;

    if (command == "hold_configure") {
        holdShortcuts_.configure(
            request.holdBindings.value_or(std::map<std::string, std::string>{}));
        holdShortcuts_.install();
    } else if (command == "hold_suspend") {
        holdShortcuts_.suspend(true);
    } else if (command == "hold_resume") {
        holdShortcuts_.suspend(false);
        holdShortcuts_.install();
    } else if (command == "status") {
        availability();
    } else if (command == "permissions") {
        processTasks_.spawn(permissions());
    } else if (command == "permission_microphone") {
        processTasks_.spawn(requestMicrophoneThenReport());
    } else if (command == "permission_speech") {
        processTasks_.spawn(requestSpeechThenReport());
    } else if (command == "permission_screen") {
        requestScreenThenReport();
    } else if (command == "settings_microphone" || command == "settings_speech" ||
               command == "settings_screen") {
        openSettingsPane(command);
    } else if (command == "whisper_partial" || command == "whisper_result" ||
               command == "whisper_error") {
        receiveWhisper(request);
    } else if (command == "halt") {
        if (matches) {
            interruptAudit("interrupted", "Generation halted by playback");
            cancel(true);
        }
    } else if (command == "cancel") {
        cancelCommand(request);
    } else if (command == "open") {
        open(request);
    } else if (command == "hosted_snapshot" || command == "hosted_complete" ||
               command == "hosted_error") {
        receiveHosted(request);
    } else if (command == "start") {
        start(request);
    } else if (command == "stop") {
        if (matches) finishRecording();
    } else if (command == "ask") {
        ask(request);
    } else if (command == "undo") {
        if (matches && session_.target && session_.target->canUndo()) undo(request);
    } else if (command == "copy") {
        if (matches && !session_.result.empty()) copy();
    } else if (command == "screen") {
        if (matches) captureScreen(request.context == "region", std::nullopt);
    } else {
        emit({{"id", request.id}, {"phase", "error"}, {"message", unknownCommandMessage}});
    }
}

void Assistant::cancelCommand(const Request& request) {
    interruptAudit("canceled", "Canceled");
    if (request.restore == true) restoreSourceIfAssistantFocused(true);
    cancel(true);
    session_.id = request.id;
    session_.target.reset();
    session_.context.clear();
    session_.result.clear();
    session_.screenImage.reset();
    event("idle", "");
}

void Assistant::open(const Request& request) {
    if (session_.audit) {
        interruptAudit("interrupted", "Replaced by a new Assistant session");
        session_.audit.reset();
    }
    cancel(true);
    session_.id = request.id;
    session_.request = request;
    session_.result.clear();
    session_.screenImage.reset();
    session_.target = std::make_shared<Target>(ports_, loop_, clipboard_);
    // The Lumora app itself in front means there is no field of the user's to work on.
    if (session_.target->application() &&
        session_.target->application()->pid == ports_.workspace.parentProcessId()) {
        session_.target.reset();
    }
    session_.context = sourceReference();
    event("result", openedMessage);
}

void Assistant::ask(const Request& request) {
    std::string_view trimmed =
        request.text ? text::trimWhitespaceAndNewlines(*request.text) : std::string_view();
    if (trimmed.empty()) {
        // Ends what runs, as every new request does: a recording left behind would keep the
        // microphone on and speak into the next session under this id.
        cancel(true);
        session_.id = request.id;
        event("error", emptyRequestMessage);
        return;
    }
    std::string prompt(trimmed);
    std::optional<platform::Image> capturedEarlier = std::move(session_.screenImage);
    session_.screenImage.reset();
    cancel(true);
    session_.id = request.id;
    session_.request = request;
    session_.context = sourceReference();
    if (capturedEarlier) {
        generate(prompt, std::move(capturedEarlier));
    } else if (supportsScreenContext() && session_.target && session_.target->windowID()) {
        captureScreen(false, prompt);
    } else {
        generate(prompt, std::nullopt);
    }
}

void Assistant::undo(const Request& request) {
    bool restore = request.restore == true;
    if (restore) restoreSourceIfAssistantFocused(true);
    work_.start(undoAfterRestore(request.id, restore));
}

Task<void> Assistant::undoAfterRestore(std::uint64_t requestID, bool restore) {
    // Give the reactivated application a moment to take focus back before editing its field.
    if (restore) co_await sleepFor(undoRestoreDelay);
    // Read apart from the test: written inside it, after the conditional sleep above, GCC 12
    // builds a frame that crashes on resumption.
    const bool cancelled = co_await isCancelled();
    if (cancelled || session_.id != requestID) co_return;
    if (session_.target && session_.target->undo()) {
        event("result", undoneMessage, "", "undone");
        co_return;
    }
    if (session_.target) session_.target->dropUndoState();
    event("result", undoUnavailableMessage, session_.result, "undo_unavailable");
}

void Assistant::copy() {
    ports_.pasteboard.clearContents();
    ports_.pasteboard.setString(session_.result);
    event("result", copiedMessage, session_.result);
}

}  // namespace lumora
