#include "assistant/host/assistant.h"

#include "assistant/generation/context_policy.h"
#include "assistant/generation/prompt.h"
#include "assistant/host/event_output.h"

namespace lumora {

namespace {

constexpr std::uint16_t escapeKeyCode = 53;
constexpr std::string_view assistantWindowTitle = "Lumora Assistant";
constexpr std::string_view canceledMessage = "Canceled";

}  // namespace

Assistant::Assistant(EventLoop& loop, Executor& executor, Executor& auditWriter,
                     platform::Ports& ports)
    : loop_(loop),
      auditWriter_(auditWriter),
      ports_(ports),
      model_(ports.languageModel, executor),
      screenLog_{ports.system, "com.vantor.app", "ScreenCapture"},
      holdShortcuts_(loop, ports),
      processTasks_(loop),
      clipboard_(loop, ports.pasteboard),
      work_(loop),
      lifetime_(std::make_shared<Assistant*>(this)) {}

Assistant::~Assistant() {
    monitors_.clear();
    cancel(true);
}

void Assistant::event(std::string_view phase, std::string_view message, std::string_view text,
                      std::string_view action) {
    std::string payload(phase == "error" && text.empty() ? std::string_view(session_.result)
                                                         : text);
    const bool auditWasOpen = session_.audit && !session_.audit->finished();
    if (session_.audit) session_.audit->update(phase, message, payload, action);

    json::Document object = {
        {"id", session_.id},
        {"phase", phase},
        {"message", message},
        {"text", payload},
        {"action", action},
        {"canInsert", session_.target && session_.target->editable()},
        {"canUndo", session_.target && session_.target->canUndo()},
        {"mode", session_.request && session_.request->mode ? *session_.request->mode
                                                            : std::string("assistant")},
        {"source", sourceAppName()},
        {"context", session_.context},
    };
    std::optional<platform::Rect> rect =
        session_.target ? session_.target->caretBounds() : std::nullopt;
    if (!rect && session_.target) rect = session_.target->bounds();
    if (rect) {
        object["bounds"] = {{"x", rect->x},
                            {"y", rect->y},
                            {"width", std::abs(rect->width)},
                            {"height", std::abs(rect->height)}};
    }
    emit(object);

    if (!session_.audit) return;
    std::optional<std::string> failure = session_.audit->error();
    if (failure) emit(auditError(session_.id, *failure));
    if (auditWasOpen && session_.audit->finished()) reportLateAuditFailure(failure);
}

json::Document Assistant::auditError(std::uint64_t requestID, const std::string& failure) {
    return {{"id", requestID}, {"phase", "audit_error"}, {"message", failure}};
}

void Assistant::reportLateAuditFailure(std::optional<std::string> reported) {
    // The record's last writes are still with the writer when the session ends, and no event
    // follows to carry what they meet.
    std::shared_ptr<GenerationHistory> audit = session_.audit;
    audit->whenWritten([&loop = loop_, alive = std::weak_ptr(lifetime_), id = session_.id, audit,
                        reported = std::move(reported)] {
        loop.post([alive, id, audit, reported] {
            std::optional<std::string> failure = audit->error();
            if (!alive.expired() && failure && failure != reported) emit(auditError(id, *failure));
        });
    });
}

void Assistant::cancel(bool cancelScreen) {
    // The session record stays as it is: callers reset what they need.
    if (session_.request && session_.request->usesWhisper() && work_.isRecordingOrFinishing()) {
        // Silenced first, so that no audio follows the app's notice.
        work_.recording()->whisper()->cancel();
        emit({{"id", session_.id}, {"phase", "whisper_cancel"}});
    }
    if (cancelScreen) work_.dropScreenPreparation();
    work_.cancel();
}

void Assistant::whenClipboardReturned(std::function<void()> done) {
    clipboard_.whenReturned(std::move(done));
}

void Assistant::beginAudit(const Request& request, const std::string& input) {
    interruptAudit("interrupted", "Replaced by another request");
    session_.audit = GenerationHistory::open(
        request.id, sourceAppName(), {loop_.clock(), ports_.images, ports_.system, auditWriter_});
    if (!session_.audit) return;
    bool cloud = request.provider == AssistantProvider::cloud;
    session_.audit->input({
        {"request", input},
        {"inputType", request.command == "ask" ? "typed" : "speech"},
        {"provider", cloud ? "cloud" : "local"},
        {"model", cloud ? "assistant-standard" : "Apple Foundation Models (on-device)"},
    });
}

std::string Assistant::sourceAppName() const {
    if (!session_.target || !session_.target->application()) return {};
    return session_.target->application()->localizedName.value_or("");
}

void Assistant::interruptAudit(std::string_view phase, std::string_view message) {
    if (session_.audit) session_.audit->update(phase, message, session_.result, "");
}

std::string Assistant::sourceReference() const {
    if (!session_.target) return AssistantPrompt::referenceContext("", std::nullopt);
    return AssistantPrompt::referenceContext(session_.target->selection(),
                                             session_.target->sourceContext());
}

bool Assistant::supportsScreenContext() const {
    return supportsScreenContext(session_.request ? session_.request->provider : std::nullopt);
}

bool Assistant::supportsScreenContext(std::optional<AssistantProvider> provider) const {
    if (provider == AssistantProvider::cloud) {
        return AssistantContextPolicy::supportsCloudScreenText(ports_.system.osVersion().major);
    }
    return AssistantScreenSupport::isAvailable(ports_.system);
}

void Assistant::restoreSourceIfAssistantFocused(bool explicitly) {
    auto frontmost = ports_.workspace.frontmostApplication();
    if (!frontmost || frontmost->pid != ports_.workspace.parentProcessId()) return;
    if (!session_.target || !session_.target->application()) return;
    const auto& source = *session_.target->application();
    if (source.pid == frontmost->pid || ports_.workspace.isTerminated(source.pid)) return;
    if (!explicitly) {
        auto& accessibility = ports_.accessibility;
        auto window = accessibility.copyAttribute(accessibility.applicationElement(frontmost->pid),
                                                  "AXFocusedWindow");
        auto* windowElement = window ? std::get_if<platform::AXElement>(&*window) : nullptr;
        if (windowElement == nullptr) return;
        auto title = accessibility.copyAttribute(*windowElement, "AXTitle");
        auto* titleText = title ? std::get_if<std::string>(&*title) : nullptr;
        if (titleText == nullptr || *titleText != assistantWindowTitle) return;
    }
    ports_.workspace.activate(source.pid);
}

void Assistant::installEscape() {
    std::weak_ptr<Assistant*> weak = lifetime_;
    EventLoop& loop = loop_;
    monitors_.push_back(ports_.keyboard.addGlobalKeyDownMonitor([weak, &loop](std::uint16_t key) {
        if (key != escapeKeyCode) return;
        loop.post([weak] {
            if (auto self = weak.lock()) (*self)->escapePressed();
        });
    }));
}

bool Assistant::runsAnything() const {
    return work_.isRecordingOrFinishing() || work_.isGenerating() || session_.target ||
           !session_.result.empty();
}

void Assistant::escapePressed() {
    // The region tool takes Escape to give up the selection, and the capture reports that.
    if (holdShortcuts_.reservesEscape() || work_.selectsRegion() || !runsAnything()) return;
    restoreSourceIfAssistantFocused(false);
    cancel(true);
    session_.target.reset();
    session_.context.clear();
    session_.result.clear();
    event("canceled", canceledMessage);
}

}  // namespace lumora
