// The work running on behalf of the current request, with one owner: every task a request
// starts is spawned here, the session's one timeout is armed here, and the region tools it
// launches are tracked here, so stopping all of it is one call. What the work produces goes
// into the session record, which this does not touch.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "assistant/generation/hosted_response.h"
#include "assistant/host/recording.h"
#include "assistant/screen/prepared_screen_context.h"
#include "platform/screen_capture.h"
#include "runtime/event_loop.h"
#include "runtime/task_scope.h"

namespace lumora {

class RequestWork {
  public:
    explicit RequestWork(EventLoop& loop);
    RequestWork(const RequestWork&) = delete;
    RequestWork& operator=(const RequestWork&) = delete;

    // The model generation, or an on-demand capture that may start one. An earlier one of the
    // same request goes on; the session id silences it once the request is replaced.
    void startGeneration(Task<void> task);
    // Any other task of the request: the paste of a finished answer, the undo that may first
    // wait for the source application to come back.
    void start(Task<void> task);

    // The session's one timeout: arming it replaces the one armed before.
    void armDeadline(double seconds, std::function<void()> expire);
    void disarmDeadline();

    // A region tool, terminated if it still runs when the work is cancelled, until the
    // returned guard goes.
    class Tracked {
      public:
        Tracked(RequestWork& work, std::shared_ptr<platform::ChildProcess> process)
            : work_(work), process_(std::move(process)) {}
        ~Tracked() { work_.forget(process_); }
        Tracked(const Tracked&) = delete;
        Tracked& operator=(const Tracked&) = delete;

      private:
        RequestWork& work_;
        std::shared_ptr<platform::ChildProcess> process_;
    };
    [[nodiscard]] Tracked track(std::shared_ptr<platform::ChildProcess> process);
    // Whether a region tool runs.
    bool selectsRegion() const { return !screenProcesses_.empty(); }

    // The accumulator of the cloud answer the app streams back; none when no cloud request is
    // open. Opening one replaces the one before.
    void openHostedResponse(HostedAssistantResponse response);
    HostedAssistantResponse* hostedResponse();
    void dropHostedResponse();

    // A fresh recording in place of any earlier one.
    Recording& beginRecording();
    // None when no recording is running or being transcribed.
    Recording* recording() { return recording_.get(); }
    bool isRecordingOrFinishing() const;

    // The window capture prepared while recording. Only dropping it cancels it; `cancel`
    // leaves it for the transcript that collects it.
    void prepareScreen(std::unique_ptr<PreparedScreenContext> preparation);
    PreparedScreenContext* screenPreparation() { return screenPreparation_.get(); }
    void dropScreenPreparation();

    // Whether a generation or capture has yet to finish, or a cloud answer is open.
    bool isGenerating() const;
    // Everything but the prepared capture.
    void cancel();

  private:
    TaskScope generations_;
    TaskScope others_;
    void forget(const std::shared_ptr<platform::ChildProcess>& process);

    Timer deadline_;
    std::optional<HostedAssistantResponse> hostedResponse_;
    std::vector<std::shared_ptr<platform::ChildProcess>> screenProcesses_;
    EventLoop& loop_;
    std::unique_ptr<Recording> recording_;
    std::uint64_t recordings_ = 0;
    std::unique_ptr<PreparedScreenContext> screenPreparation_;
};

}  // namespace lumora
