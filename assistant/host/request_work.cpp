#include "assistant/host/request_work.h"

#include <algorithm>

namespace lumora {

RequestWork::RequestWork(EventLoop& loop)
    : generations_(loop), others_(loop), deadline_(loop), loop_(loop) {}

void RequestWork::startGeneration(Task<void> task) {
    generations_.spawn(std::move(task));
}

void RequestWork::start(Task<void> task) {
    others_.spawn(std::move(task));
}

void RequestWork::armDeadline(double seconds, std::function<void()> expire) {
    deadline_.start(seconds, std::move(expire));
}

void RequestWork::disarmDeadline() {
    deadline_.stop();
}

void RequestWork::openHostedResponse(HostedAssistantResponse response) {
    hostedResponse_ = std::move(response);
}

HostedAssistantResponse* RequestWork::hostedResponse() {
    return hostedResponse_ ? &*hostedResponse_ : nullptr;
}

void RequestWork::dropHostedResponse() {
    hostedResponse_.reset();
}

RequestWork::Tracked RequestWork::track(std::shared_ptr<platform::ChildProcess> process) {
    screenProcesses_.push_back(process);
    return Tracked(*this, std::move(process));
}

void RequestWork::forget(const std::shared_ptr<platform::ChildProcess>& process) {
    std::erase(screenProcesses_, process);
}

Recording& RequestWork::beginRecording() {
    // The old microphone stops before the new one is created.
    recording_.reset();
    recording_ = std::make_unique<Recording>(loop_, ++recordings_);
    return *recording_;
}

bool RequestWork::isRecordingOrFinishing() const {
    return recording_ && (recording_->isRecording() || recording_->isFinishing());
}

void RequestWork::prepareScreen(std::unique_ptr<PreparedScreenContext> preparation) {
    screenPreparation_ = std::move(preparation);
}

void RequestWork::dropScreenPreparation() {
    screenPreparation_.reset();
}

bool RequestWork::isGenerating() const {
    return generations_.isRunning() || hostedResponse_.has_value();
}

void RequestWork::cancel() {
    recording_.reset();
    others_.cancel();
    generations_.cancel();
    hostedResponse_.reset();
    deadline_.stop();
    for (const auto& process : screenProcesses_) {
        if (process->isRunning()) process->terminate();
    }
    screenProcesses_.clear();
}

}  // namespace lumora
