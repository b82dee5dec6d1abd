// The one session controller of the helper. It lives on the main thread for the life of the
// process; every command, timer, task and callback that touches its state runs there. Its state
// has three owners: the process (the hold and Escape monitors, work that outlives requests),
// the session record of the current request, and the work running on that request's behalf.
// Every asynchronous step captures the session id and does nothing once it has moved on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "assistant/audit/generation_history.h"
#include "assistant/generation/assistant_action.h"
#include "assistant/generation/assistant_source.h"
#include "assistant/generation/model_client.h"
#include "assistant/hold/hold_shortcuts.h"
#include "assistant/host/request.h"
#include "assistant/host/request_work.h"
#include "assistant/host/session.h"
#include "assistant/target/target.h"
#include "platform/ports.h"
#include "runtime/event_loop.h"
#include "runtime/executor.h"
#include "runtime/task.h"
#include "runtime/task_scope.h"

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
    // The loop must outlive the controller. `auditWriter` writes the audit records; it must run
    // its jobs one at a time, in order.
    Assistant(EventLoop& loop, Executor& executor, Executor& auditWriter, platform::Ports& ports);
    ~Assistant();
    Assistant(const Assistant&) = delete;
    Assistant& operator=(const Assistant&) = delete;

    // Dispatches one command (main thread).
    void handle(const Request& request);
    // Stops everything running for the current request. With `cancelScreen` false a window
    // capture prepared while recording survives, for the transcript that collects it.
    void cancel(bool cancelScreen);
    void installEscape();
    // Runs `done` once no paste has the user's clipboard any more, which is within a second:
    // the helper must not end with a reply where the user's clipboard belongs.
    void whenClipboardReturned(std::function<void()> done);

  private:
    // What one generation, on the device or in the cloud, captured from the session when it
    // began.
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

    // Commands.
    void open(const Request& request);
    void ask(const Request& request);
    void undo(const Request& request);
    void cancelCommand(const Request& request);
    void copy();
    Task<void> undoAfterRestore(std::uint64_t requestID, bool restore);

    // Session lifecycle.
    void start(const Request& request);
    // Sends the refusal of the first permission a recording lacks.
    bool permitsRecording(const Request& request);
    // Results reach `recognized` on the loop, tagged with the recording they belong to.
    platform::RecognitionHandler recognitionHandler(std::uint64_t recordingSerial);
    // Starts the recognition, if any, and the microphone with its tap; false, with the session
    // cancelled and the error sent, when something will not start.
    bool startMicrophone(Recording& recording,
                         std::unique_ptr<platform::SpeechRecognizer> recognizer);
    void prepareScreenContext();
    void checkRelease(std::uint64_t id, std::optional<std::uint16_t> key,
                      platform::EventFlags flags);
    void recognized(std::uint64_t requestID, std::uint64_t recordingSerial,
                    const std::optional<platform::RecognitionResult>& result,
                    const std::optional<std::string>& error);
    void finishRecording();
    void receiveWhisper(const Request& request);
    void completeTranscript(const std::string& text);
    void askSpoken(const std::string& transcript);
    Task<void> collectPreparedScreen(std::uint64_t id, std::string transcript);
    void beginAudit(const Request& request, const std::string& input);
    void interruptAudit(std::string_view phase, std::string_view message);
    std::string sourceReference() const;
    void restoreSourceIfAssistantFocused(bool explicitly);
    void escapePressed();
    bool runsAnything() const;
    // The localized name of the target's application; empty without one.
    std::string sourceAppName() const;

    // The standard session event, followed by "audit_error" while the record has a failure.
    void event(std::string_view phase, std::string_view message, std::string_view text = "",
               std::string_view action = "preview");
    static json::Document auditError(std::uint64_t requestID, const std::string& failure);
    // Reports a failure the writer meets after the record's last event, unless it is `reported`.
    void reportLateAuditFailure(std::optional<std::string> reported);

    bool supportsScreenContext() const;
    bool supportsScreenContext(std::optional<AssistantProvider> provider) const;

    // Availability and permissions.
    void availability();
    Task<void> permissions();
    Task<void> requestMicrophoneThenReport();
    Task<void> requestSpeechThenReport();
    void requestScreenThenReport();
    void openSettingsPane(std::string_view command);
    Task<void> askForMicrophone();
    Task<void> askForSpeechRecognition();

    // Generation, the cloud relay and screen capture.
    void generate(const std::string& text, std::optional<platform::Image> screenImage);
    void generateHosted(const std::string& text, std::optional<platform::Image> screenImage);
    void receiveHosted(const Request& request);
    void captureScreen(bool region, std::optional<std::string> prompt);
    GenerationInputs generationInputs(const std::string& text,
                                      std::optional<platform::Image> screenImage) const;
    // Refuses, with the error event, when this Mac cannot run the on-device model.
    bool onDeviceModelReady();
    // Refuses, with the error event, a request or reference text too long for the model.
    bool withinInputLimits(std::string_view request, std::string_view reference);
    // "Thinking…" with `message`, the 90-second deadline, and a fresh edit for the reply.
    void announceReply(std::string_view message);
    Task<void> runGeneration(GenerationInputs inputs);
    Task<void> sendHostedInput(GenerationInputs inputs);
    Task<AssistantReply> produceReply(const GenerationInputs& inputs);
    void expireGeneration(std::uint64_t requestID);
    Task<void> runScreenCapture(std::uint64_t requestID, bool region,
                                std::optional<std::uint32_t> windowID,
                                std::optional<std::string> prompt);
    Task<platform::Image> captureRegion();

    // Reply delivery: partial replies while they stream, the final one, and the paste.
    void deliverSnapshot(const AssistantReply& reply);
    void deliverComplete(const AssistantReply& reply);
    void insertResult();
    Task<void> runInsertion(std::uint64_t requestID, std::string text,
                            std::shared_ptr<Target> target, bool restoreClipboard);

    EventLoop& loop_;
    Executor& auditWriter_;
    platform::Ports& ports_;
    ModelClient model_;
    SystemLogger screenLog_;

    // Lives for the process.
    HoldShortcuts holdShortcuts_;
    std::vector<std::shared_ptr<void>> monitors_;
    // Work that outlives any one request: permission requests.
    TaskScope processTasks_;
    // The user's clipboard while pastes borrow it, for every request's target.
    BorrowedClipboard clipboard_;

    // The current request: its record, and the work running on its behalf.
    Session session_;
    RequestWork work_;

    // Callbacks from other threads hold this weakly, so none runs after the controller is gone.
    std::shared_ptr<Assistant*> lifetime_;
};

}  // namespace lumora
