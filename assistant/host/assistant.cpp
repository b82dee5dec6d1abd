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

Assistant::Assistant(EventLoop& loop, ThreadPool& pool, platform::Ports& ports)
    : loop_(loop),
      pool_(pool),
      ports_(ports),
      model_(ports.languageModel, pool),
      screenLog_{ports.system, "com.vantor.app", "ScreenCapture"},
      lifetime_(std::make_shared<Assistant*>(this)) {}

Assistant::~Assistant() {
    monitors_.clear();
    cancel(true);
}

void Assistant::event(std::string_view phase, std::string_view message, std::string_view text,
                      std::string_view action) {
    std::string payload(phase == "error" && text.empty() ? std::string_view(result_) : text);
    if (audit_) audit_->update(phase, message, payload, action);

    json::Document object = {
        {"id", id_},
        {"phase", phase},
        {"message", message},
        {"text", payload},
        {"action", action},
        {"canInsert", target_ && target_->editable()},
        {"canUndo", target_ && target_->canUndo()},
        {"mode", request_ && request_->mode ? *request_->mode : std::string("assistant")},
        {"source", sourceAppName()},
        {"context", context_},
    };
    std::optional<platform::Rect> rect = target_ ? target_->caretBounds() : std::nullopt;
    if (!rect && target_) rect = target_->bounds();
    if (rect) {
        object["bounds"] = {{"x", rect->x},
                            {"y", rect->y},
                            {"width", std::abs(rect->width)},
                            {"height", std::abs(rect->height)}};
    }
    emit(object);

    if (audit_ && audit_->error()) {
        emit({{"id", id_}, {"phase", "audit_error"}, {"message", *audit_->error()}});
    }
}

void Assistant::cancel(bool cancelScreen) {
    if (request_ && request_->usesWhisper() && (recording_ || finishing_)) {
        emit({{"id", id_}, {"phase", "whisper_cancel"}});
    }
    if (whisperCapture_) {
        whisperCapture_->cancel();
        whisperCapture_.reset();
    }
    if (cancelScreen && screenPreparation_) {
        screenPreparation_->cancel();
        screenPreparation_.reset();
    }
    for (auto* task : {&insertion_, &generation_}) {
        if (*task) (*task)->cancel();
        task->reset();
    }
    for (TaskHandle& task : supersededTasks_) task.cancel();
    supersededTasks_.clear();
    hostedResponse_.reset();
    if (deadline_) deadline_->cancel();
    deadline_.reset();
    stopAudio();
    if (recognition_) recognition_->cancel();
    recognition_.reset();
    audioRequest_.reset();
    finishing_ = false;
    transcriptGate_ = TranscriptGate{};
    for (const auto& process : screenProcesses_) {
        if (process->isRunning()) process->terminate();
    }
    screenProcesses_.clear();
}

void Assistant::replaceGeneration(TaskHandle task) {
    std::erase_if(supersededTasks_, [](const TaskHandle& earlier) { return earlier.isDone(); });
    if (generation_ && !generation_->isDone()) supersededTasks_.push_back(*generation_);
    generation_ = std::move(task);
}

void Assistant::stopAudio() {
    heldTimer_.reset();
    if (engine_) {
        engine_->stop();
        engine_->removeTap();
        engine_.reset();
    }
    if (audioRequest_) audioRequest_->endAudio();
    recording_ = false;
}

void Assistant::beginAudit(const Request& request, const std::string& input) {
    interruptAudit("interrupted", "Replaced by another request");
    audit_ = GenerationHistory::open(request.id, sourceAppName(),
                                     {loop_.clock(), ports_.images, ports_.system});
    if (!audit_) return;
    bool cloud = request.provider == AssistantProvider::cloud;
    audit_->input("request", input);
    audit_->input("inputType", request.command == "ask" ? "typed" : "speech");
    audit_->input("provider", cloud ? "cloud" : "local");
    audit_->input("model", cloud ? "assistant-standard" : "Apple Foundation Models (on-device)");
}

std::string Assistant::sourceAppName() const {
    if (!target_ || !target_->application()) return {};
    return target_->application()->localizedName.value_or("");
}

void Assistant::interruptAudit(std::string_view phase, std::string_view message) {
    if (audit_) audit_->update(phase, message, result_, "");
}

std::string Assistant::sourceReference() const {
    if (!target_) return AssistantPrompt::referenceContext("", std::nullopt);
    return AssistantPrompt::referenceContext(target_->selection(), target_->sourceContext());
}

bool Assistant::supportsScreenContext() const {
    return supportsScreenContext(request_ ? request_->provider : std::nullopt);
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
    if (!target_ || !target_->application()) return;
    const auto& source = *target_->application();
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
    return recording_ || finishing_ || generation_ || hostedResponse_ || target_ ||
           !result_.empty();
}

void Assistant::escapePressed() {
    if (holdShortcuts_.reservesEscape() || !runsAnything()) return;
    restoreSourceIfAssistantFocused(false);
    cancel(true);
    target_.reset();
    context_.clear();
    result_.clear();
    event("canceled", canceledMessage);
}

}  // namespace lumora
