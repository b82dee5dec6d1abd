// The one session controller of the helper. It lives on the main thread for the life of the
// process; every command, timer, task and callback that touches its state runs there. A
// session is one request: its id (chosen by the app), the command that began it, the captured
// target, and whatever runs on its behalf. Every asynchronous step captures the session id and
// does nothing once the controller has moved on.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "assistant/audit/generation_history.h"
#include "assistant/generation/assistant_action.h"
#include "assistant/generation/assistant_source.h"
#include "assistant/generation/hosted_response.h"
#include "assistant/generation/model_client.h"
#include "assistant/hold/hold_shortcuts.h"
#include "assistant/host/request.h"
#include "assistant/screen/prepared_screen_context.h"
#include "assistant/speech/transcript_gate.h"
#include "assistant/speech/whisper_audio_capture.h"
#include "assistant/target/target.h"
#include "platform/ports.h"
#include "runtime/event_loop.h"
#include "runtime/task.h"
#include "runtime/thread_pool.h"

namespace lumora {

// The diagnostic log of screen capture.
struct SystemLogger {
    platform::System& system;
    std::string subsystem;
    std::string category;
    void info(const std::string& message) const {
        system.log(subsystem, category, platform::LogLevel::info, message);
    }
};

class Assistant {
  public:
    // The loop must outlive the controller.
    Assistant(EventLoop& loop, ThreadPool& pool, platform::Ports& ports);
    ~Assistant();
    Assistant(const Assistant&) = delete;
    Assistant& operator=(const Assistant&) = delete;

    // Dispatches one command (main thread).
    void handle(const Request& request);

    // Session lifecycle.
    void start(const Request& request);
    void finishRecording();
    void completeTranscript(const std::string& text);
    void cancel(bool cancelScreen);
    void stopAudio();
    void beginAudit(const Request& request, const std::string& input);
    std::string sourceReference() const;
    void restoreSourceIfAssistantFocused(bool explicitly);
    void installEscape();

    // The standard session event.
    void event(std::string_view phase, std::string_view message, std::string_view text = "",
               std::string_view action = "preview");

    bool supportsScreenContext() const;
    bool supportsScreenContext(std::optional<AssistantProvider> provider) const;

    // Availability and permissions.
    void availability();
    Task<void> permissions();
    Task<void> requestMicrophoneThenReport();
    Task<void> requestSpeechThenReport();
    void requestScreenThenReport();
    void openSettingsPane(std::string_view command);

    // Generation, the cloud relay and screen capture.
    void generate(const std::string& text, std::optional<platform::Image> screenImage);
    void generateHosted(const std::string& text, std::optional<platform::Image> screenImage);
    void receiveHosted(const Request& request);
    void captureScreen(bool region, std::optional<std::string> prompt);

    // Reply delivery: partial replies while they stream, the final one, and the paste.
    void deliverSnapshot(const AssistantReply& reply);
    void deliverComplete(const AssistantReply& reply);
    void insertResult();

    // Read access for the composition root and tests.
    std::uint64_t id() const { return id_; }
    const std::string& result() const { return result_; }
    const std::string& context() const { return context_; }
    const Target* target() const { return target_.get(); }
    HoldShortcuts& holdShortcuts() { return holdShortcuts_; }

  private:
    // What one on-device generation captured from the session when it began.
    struct GenerationInputs {
        std::uint64_t requestID = 0;
        std::string request;
        std::optional<AssistantSource> source;
        std::string previous;
        std::string preference;
        std::string selection;
        std::shared_ptr<GenerationHistory> audit;
        std::optional<platform::Image> screenImage;
    };

    Task<void> runGeneration(GenerationInputs inputs);
    Task<AssistantReply> produceReply(const GenerationInputs& inputs);
    Task<void> expireGeneration(std::uint64_t requestID);
    Task<void> runInsertion(std::uint64_t requestID, std::string text,
                            std::shared_ptr<Target> target, bool restoreClipboard);
    Task<void> runScreenCapture(std::uint64_t requestID, bool region,
                                std::optional<std::uint32_t> windowID,
                                std::optional<std::string> prompt);
    Task<platform::Image> captureRegion();
    void replaceGeneration(TaskHandle task);
    void open(const Request& request);
    void ask(const Request& request);
    void undo(const Request& request);
    void cancelCommand(const Request& request);
    void copy();
    Task<void> undoAfterRestore(std::uint64_t requestID, bool restore);
    Task<void> askForMicrophone();
    Task<void> askForSpeechRecognition();
    void interruptAudit(std::string_view phase, std::string_view message);
    void escapePressed();
    bool runsAnything() const;
    // The localized name of the target's application; empty without one.
    std::string sourceAppName() const;

    EventLoop& loop_;
    ThreadPool& pool_;
    platform::Ports& ports_;
    ModelClient model_;

    HoldShortcuts holdShortcuts_;
    std::uint64_t id_ = 0;
    std::optional<Request> request_;
    // Shared: an insertion still running keeps the target it pastes into.
    std::shared_ptr<Target> target_;
    std::string context_;
    std::string result_;
    // Shared: a generation keeps writing the record it began with.
    std::shared_ptr<GenerationHistory> audit_;
    std::unique_ptr<platform::AudioEngine> engine_;
    std::shared_ptr<platform::RecognitionRequest> audioRequest_;
    std::unique_ptr<platform::RecognitionTask> recognition_;
    std::optional<TaskHandle> generation_;
    // Generation and capture tasks whose handle a later one of the same request took over; they
    // may still deliver while their request is current, and cancel() stops them with the rest.
    std::vector<TaskHandle> supersededTasks_;
    std::optional<HostedAssistantResponse> hostedResponse_;
    std::optional<TaskHandle> insertion_;
    std::optional<TaskHandle> deadline_;
    std::unique_ptr<Timer> heldTimer_;
    TranscriptGate transcriptGate_;
    std::shared_ptr<PreparedScreenContext> screenPreparation_;
    std::optional<platform::Image> screenImage_;
    // Region-capture tools still running, one per capture of the current request. Shared: the
    // wait for each one's exit runs on the pool and may outlive a cancellation.
    std::vector<std::shared_ptr<platform::ChildProcess>> screenProcesses_;
    std::unique_ptr<WhisperAudioCapture> whisperCapture_;
    std::string whisperPreview_;
    bool recording_ = false;
    bool finishing_ = false;
    std::vector<std::shared_ptr<void>> monitors_;
    SystemLogger screenLog_;

    // Callbacks from other threads hold this weakly, so none runs after the controller is gone.
    std::shared_ptr<Assistant*> lifetime_;
};

}  // namespace lumora
