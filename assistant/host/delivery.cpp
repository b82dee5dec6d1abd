// What happens to a decoded reply: written answers go into the user's field as they grow, or
// are pasted once complete; spoken answers, read-aloud selections and questions go to the app,
// which speaks them or shows them.
#include "assistant/host/assistant.h"
#include "runtime/text.h"

namespace lumora {

namespace {

constexpr std::string_view generating = "Generating…";
constexpr std::string_view clarifying = "Clarifying…";
constexpr std::string_view preparingNarration = "Preparing narration…";
constexpr std::string_view askForDetail = "Hold Assistant again with more detail";
constexpr std::string_view inserting = "Inserting text…";
constexpr std::string_view inserted = "Text inserted";
constexpr std::string_view streamUnfinished =
    "Could not safely finish inserting into the original field. Full answer available to copy.";
constexpr std::string_view pasteFailed =
    "Could not paste into the active app. Your answer is available to copy.";

// The event action for a reply still streaming; written text is only a preview until it lands.
std::string_view streamingAction(AssistantAction action) {
    switch (action) {
        case AssistantAction::speak:
        case AssistantAction::readSelection:
            return "speak";
        case AssistantAction::clarify:
            return "clarify";
        case AssistantAction::text:
            break;
    }
    return "preview";
}

}  // namespace

void Assistant::deliverSnapshot(const AssistantReply& reply) {
    session_.result = reply.text;
    if (reply.action == AssistantAction::text && session_.target)
        session_.target->streamInsert(reply.text);
    event("streaming", reply.action == AssistantAction::clarify ? clarifying : generating,
          reply.text, streamingAction(reply.action));
}

void Assistant::deliverComplete(const AssistantReply& reply) {
    session_.result = reply.text;
    if (session_.target) {
        session_.target->trace("generated-" + std::string(rawValue(reply.action)),
                               text::characterCount(reply.text));
    }
    switch (reply.action) {
        case AssistantAction::speak:
        case AssistantAction::readSelection:
            event("result", preparingNarration, reply.text, "speak");
            return;
        case AssistantAction::clarify:
            event("result", askForDetail, reply.text, "clarify");
            return;
        case AssistantAction::text:
            break;
    }
    // Nothing written yet: the whole answer can still be pasted in one go.
    if (!session_.target || !session_.target->incremental() ||
        session_.target->incremental()->canFallback) {
        insertResult();
        return;
    }
    session_.target->streamInsert(reply.text);
    if (session_.target->streamCompleted(reply.text)) {
        event("result", inserted, "", "applied");
    } else {
        // Part of the answer is in the field: pasting the whole of it would duplicate that part.
        event("result", streamUnfinished, reply.text, "preview");
    }
}

void Assistant::insertResult() {
    bool restoreClipboard = !session_.request || session_.request->restoreClipboard.value_or(true);
    event("processing", inserting, session_.result);
    work_.start(runInsertion(session_.id, session_.result, session_.target, restoreClipboard));
}

Task<void> Assistant::runInsertion(std::uint64_t requestID, std::string text,
                                   std::shared_ptr<Target> target, bool restoreClipboard) {
    bool delivered = false;
    if (target) {
        delivered = co_await target->insert(text, restoreClipboard);
        target->trace(delivered ? "insert-delivered" : "insert-failed", text::characterCount(text));
    }
    if (co_await isCancelled() || session_.id != requestID) co_return;
    if (session_.audit) {
        session_.audit->input({
            {"insertionFailure", target ? target->insertionFailure().value_or("") : "no-target"},
            {"targetRole", target ? target->sourceContext().focusedRole : ""},
            {"targetHadSnapshot", target && target->original().has_value()},
        });
    }
    if (delivered) {
        event("result", inserted, "", "applied");
    } else {
        event("result", pasteFailed, text, "preview");
    }
}

}  // namespace lumora
